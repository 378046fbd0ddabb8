// The installation service's rules as plain functions: which scripts may
// run, which packages are skipped, how a result is recorded and when the
// log is rotated. No Win32 here, so the rules also build and run natively.
#pragma once
#include "service_contract.h"
#include "winerr.h"
#include <stddef.h>
#include <stdio.h>
#include <string>
#include <vector>

// Why a script path may not run (the service runs as LocalSystem and the
// device package list lies where any user may write).
enum PathVerdict {
    PATH_OK,
    PATH_EMPTY,      // no path, or too long for the path buffers
    PATH_RELATIVE,   // no drive and no "\\" start
    PATH_ELSEWHERE,  // not under "<ndrv>\pkg\" or "<uncp>\pkg\"
    PATH_DOTS,       // a "." or ".." component (or one of only dots and blanks)
    PATH_CHARS,      // a character the command line or a path may not carry
};

// Checks a script path against the share's package folders. ndrv is a
// drive such as "Y:"; uncp a UNC path such as "\\server\packages" (a
// trailing "\" is ignored). An empty or malformed setting allows nothing.
// Letters are compared without regard to case, as Windows does; the path
// is walked by characters of code page cp.
PathVerdict svc_check_path(unsigned cp, const char* path, const char* ndrv, const char* uncp);
const char* svc_path_reason(PathVerdict v);

// True when the package is installed already: the recorded version equals
// the listed one exactly and its code means success (0, 1641, 3010).
// done_vers is null when none is recorded; done_code is -1 when absent.
bool svc_skip(const char* done_vers, int done_code, const char* vers);

// The installation's result and how it is recorded.
enum SvcRun {
    RUN_DONE,      // the script ran to its end; result is its exit code
    RUN_NOSTART,   // it could not be started; result is the system error
    RUN_TIMEOUT,   // ended after "tmax" seconds
    RUN_STOPPED,   // ended because the service was stopped
};
// The system error recorded for each outcome that has no exit code.
enum {
    SVC_ERR_REJECTED = NX_ERR_BAD_PATHNAME,
    SVC_ERR_TIMEOUT = NX_ERR_TIMEOUT,
    SVC_ERR_STOPPED = NX_ERR_CANCELLED,
};
struct SvcOutcome {
    bool installed;        // "code" is written; else it is removed
    unsigned long code;    // the value of "code" when installed
    unsigned long exit;    // the value of SVC_RES_EXIT, always written
    bool restart_needed;   // SVC_CODE_RESTART_NEEDED
    bool restart_started;  // SVC_CODE_RESTART_STARTED: the package restarts the machine itself
};
SvcOutcome svc_outcome(SvcRun run, unsigned long result);

// The log is kept below this size: when a write takes it there, it becomes
// the old log and a new one is started.
enum { SVC_LOG_LIMIT = 1024 * 1024 };
inline bool svc_log_full(long size) { return size >= SVC_LOG_LIMIT; }

// The settings in seconds, with the service's own value for an absent or
// unusable one, and at most a week (so milliseconds fit 32 bits).
enum : int {
    SVC_TMAX = (int)svc_settings[SVC_SET_TMAX].number,
    SVC_TMSG = (int)svc_settings[SVC_SET_TMSG].number,
    SVC_TSVC = (int)svc_settings[SVC_SET_TSVC].number,
    SVC_TWRB = (int)svc_settings[SVC_SET_TWRB].number,
    SVC_TLONGEST = 7 * 24 * 3600
};
int svc_seconds(int value, int fallback);

// Failures that repeat: after the tries-th failed attempt in a row the
// package waits this many tasks (0, 1, 3, 7 ...: tried again after 1, 2,
// 4, 8 ... tasks), at most as many as make a day at tsvc seconds a task.
int svc_backoff(int tries, int tsvc);

// Whether a script whose start failed with error, after attempts starts,
// is started again: only when the system was short of something for a
// moment, and at most SVC_START_ATTEMPTS times in all. Nothing of it ran,
// so a new start cannot run anything twice.
enum { SVC_START_ATTEMPTS = 3, SVC_START_PAUSE_MS = 1000 };
bool svc_start_again(unsigned long error, int attempts);

// A package's failed attempts in a row and the tasks it still waits, from
// its record (done_vers null: none; tries, wait -1: absent): earlier
// failures count for the listed version only, and it never waits longer
// than its back-off.
struct SvcTries {
    int tries, wait;
};
SvcTries svc_tries(const char* done_vers, const char* vers, int tries, int wait, int tsvc);

// What a task knows of the next package of its plan before it touches it.
struct SvcPackageFacts {
    bool window;                   // a maintenance window is set ("mwin") ...
    int win_from, win_to, minute;  // ... its minutes of the day, and the local time's
    bool share_ready;              // the share could be made sure just now
    bool keyed;                    // its results key fits the registry's path
    bool assigned;                 // assigned to the device, else the user's own choice
    int self;                      // "self"
    bool script_ok;                // its script passed the path rule or the share's layout
    const char* vers;              // the listed version
    const char* done_vers;         // its record: the version, null when none
    int done_code, done_tries, done_wait;  // "code", "tries", "wait"; -1 when absent
    int tsvc;
};
// What becomes of it, checked in this order.
enum SvcPackageStep {
    STEP_WINDOW_CLOSED,  // outside the maintenance window: it and the rest wait
    STEP_SHARE_LOST,     // the share cannot be made sure: it and the rest wait
    STEP_REFUSE_KEY,     // refused: no results key can name it
    STEP_REFUSE_SELF,    // refused: the user's own choice while self-service is off
    STEP_REFUSE_SCRIPT,  // refused: its script may not run
    STEP_SKIP,           // installed already
    STEP_BACKOFF,        // failed before and waits for its next try: still failed
    STEP_RUN,            // its script runs, once the platform's checks pass
};
SvcPackageStep svc_package_step(const SvcPackageFacts& f);

// Text from the list as the log shows it: control characters as "<0D>",
// so no list text can start or forge a log line. Cut to fit n.
void svc_show(char* out, size_t n, const char* text);
template <size_t N> struct SvcShown {
    char text[N];
    explicit SvcShown(const char* s) { svc_show(text, N, s); }
};

// One section of a device package list as the service takes it.
struct SvcSection {
    char comp[NX_PATH], name[NX_PATH], vers[NX_PATH], path[NX_PATH];
};
struct ListReader;
// Appends the record the reader holds.
void svc_append(std::vector<SvcSection>* to, const ListReader& rd);
enum ListRead { LIST_READ, LIST_NONE, LIST_TOO_LARGE, LIST_TOO_MANY };
// Reads the records of a list from f into *list. Any user
// may write the list: past max_bytes or max_sections nothing of it is kept
// (LIST_TOO_LARGE, LIST_TOO_MANY), whatever the file holds or however it
// grows while read. A null f gives LIST_NONE. f is opened in binary mode:
// the text is decoded as textenc.h reads it. Sections with a text the code
// page could not hold go to *lost (when given), never to *list.
ListRead svc_read_list(FILE* f, long max_bytes, size_t max_sections, std::vector<SvcSection>* list,
                       std::vector<SvcSection>* lost = nullptr);

// What a task installs. The user chooses, the share decides: the device's
// assigned list comes from the share's assignment and group files, which
// administrators write; a list the console saved contributes only which
// packages, by manufacturer, name and version, and their order.
struct SvcPlanned {
    SvcSection s;   // assigned: the group file's section, path and all;
                    // else the user's section, whose path is never run
    bool assigned;  // else the user's own choice from the share
};
// The plan: without chosen the assigned list, else the chosen packages in
// their order, each as the assigned section of the same identity where
// there is one (manufacturer and name without regard to case, as the
// results key; the version exactly). Each identity once, at its first
// place: returns how many repeats were dropped.
size_t svc_plan(unsigned cp, const std::vector<SvcSection>& assigned, const std::vector<SvcSection>* chosen,
                std::vector<SvcPlanned>* plan);
