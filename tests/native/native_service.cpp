// The installation service's rules built natively under the sanitizers:
// which script paths may run, what a task installs, which
// packages are skipped or wait, what a result records, the script's command
// line and cmd, log texts and bounds, and the platform's answers: a busy
// installer, restarts, sessions.
#include "manifest.h"
#include "osrules.h"
#include "policy.h"
#include "svcrules.h"
#include <gtest/gtest.h>
#include <string.h>
#include <string>
#include <vector>

TEST(ServiceRules, ScriptPaths)
{
    const char* Y = "Y:";
    const char* U = "\\\\demo\\packages";
    struct Row {
        const char *path, *ndrv, *uncp;
        PathVerdict want;
        unsigned cp = 1252;
    } rows[] = {
        {"Y:\\pkg\\Contoso\\PdfViewer\\4.1\\Install.cmd", Y, U, PATH_OK},
        {"y:\\PKG\\Contoso\\a b\\4.1\\Install.cmd", Y, U, PATH_OK},
        {"\\\\demo\\packages\\pkg\\Contoso\\PdfViewer\\4.1\\Install.cmd", Y, U, PATH_OK},
        {"\\\\DEMO\\Packages\\pkg\\x.cmd", Y, "\\\\demo\\packages\\", PATH_OK},
        {"Y:\\pkg\\a&b^c!\\x.cmd", Y, U, PATH_OK},  // quoted, so cmd takes them as they are
        // other drives, other folders, other shares
        {"C:\\elsewhere\\Install.cmd", Y, U, PATH_ELSEWHERE},
        {"C:\\pkg\\Install.cmd", Y, U, PATH_ELSEWHERE},
        {"Y:\\pkgs\\x.cmd", Y, U, PATH_ELSEWHERE},
        {"Y:\\Install.cmd", Y, U, PATH_ELSEWHERE},
        {"Y:\\other\\pkg\\x.cmd", Y, U, PATH_ELSEWHERE},
        {"\\\\evil\\share\\pkg\\x.cmd", Y, U, PATH_ELSEWHERE},
        {"\\\\demo\\packages2\\pkg\\x.cmd", Y, U, PATH_ELSEWHERE},
        {"\\\\demo\\packages\\other\\x.cmd", Y, U, PATH_ELSEWHERE},
        {"\\\\?\\Y:\\pkg\\x.cmd", Y, U, PATH_CHARS},  // no device paths
        {"Y:\\pkg\\x.cmd", "", U, PATH_ELSEWHERE},                  // no drive set
        {"\\\\demo\\packages\\pkg\\x.cmd", Y, "", PATH_ELSEWHERE},  // no share set
        {"C:\\pkg\\x.cmd", "C:\\", U, PATH_ELSEWHERE},              // malformed drive setting
        // climbing out, in every spelling Windows folds to ".."
        {"Y:\\pkg\\..\\..\\x.cmd", Y, U, PATH_DOTS},
        {"Y:\\pkg\\a\\..\\b\\x.cmd", Y, U, PATH_DOTS},
        {"Y:\\pkg/../../x.cmd", Y, U, PATH_DOTS},
        {"Y:\\pkg\\...\\x.cmd", Y, U, PATH_DOTS},
        {"Y:\\pkg\\.. \\x.cmd", Y, U, PATH_DOTS},
        {"Y:\\pkg\\.\\x.cmd", Y, U, PATH_DOTS},
        {"Y:\\pkg\\a\\\\x.cmd", Y, U, PATH_DOTS},
        {"Y:\\pkg\\", Y, U, PATH_DOTS},
        {"\\\\demo\\packages\\pkg\\..\\..\\x.cmd", Y, U, PATH_DOTS},
        // relative, empty, characters quoting cannot carry
        {"pkg\\x.cmd", Y, U, PATH_RELATIVE},
        {"Y:pkg\\x.cmd", Y, U, PATH_RELATIVE},
        {"\\pkg\\x.cmd", Y, U, PATH_RELATIVE},
        {"", Y, U, PATH_EMPTY},
        {"Y:\\pkg\\%COMSPEC%\\x.cmd", Y, U, PATH_CHARS},
        {"Y:\\pkg\\a\"&calc&\"\\x.cmd", Y, U, PATH_CHARS},
        {"Y:\\pkg\\a\\x.cmd:stream", Y, U, PATH_CHARS},
        {"Y:\\pkg\\a\\C:\\x.cmd", Y, U, PATH_CHARS},
        {"Y:\\pkg\\a\tb\\x.cmd", Y, U, PATH_CHARS},
        // code page 932: names whose last byte is that of "\" or "|"
        {"Y:\\pkg\\\x88\xea\x97\x97\x95\x5c\\1.0\\Install.cmd", Y, U, PATH_OK, 932},
        {"Y:\\pkg\\\x83\x8c\x83\x7c\x81\x5b\x83\x67\\1.0\\Install.cmd", Y, U, PATH_OK, 932},
        {"\\\\demo\\\x95\x5c\\pkg\\x.cmd", Y, "\\\\demo\\\x95\x5c\\", PATH_OK, 932},
        {"Y:\\pkg\\\x83\x8c\x83\x7c\\1.0\\Install.cmd", Y, U, PATH_CHARS},  // read as 1252
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.path);
        PathVerdict v = svc_check_path(r.cp, r.path, r.ndrv, r.uncp);
        EXPECT_EQ(v, r.want) << svc_path_reason(v);
    }
    // 259 characters may be a longer path cut by the list reader.
    std::string p = "Y:\\pkg\\";
    EXPECT_EQ(svc_check_path(1252, (p + std::string(258 - p.size(), 'a')).c_str(), Y, U), PATH_OK);
    EXPECT_EQ(svc_check_path(1252, (p + std::string(259 - p.size(), 'a')).c_str(), Y, U), PATH_EMPTY);
}

TEST(ServiceRules, SkipAndOutcome)
{
    struct Skip {
        const char* done_vers;
        int done_code;
        const char* vers;
        bool skip;
    } skips[] = {
        {"4.1", 0, "4.1", true},      {"4.1", 1641, "4.1", true}, {"4.1", 3010, "4.1", true},
        {"4.1", -1, "4.1", false},    // failed: no code
        {"4.1", 1, "4.1", false},     {"4.1", 0, "4.2", false},   {"1.0a", 0, "1.0A", false},
        {nullptr, 0, "4.1", false},
    };
    for (auto& s : skips) {
        SCOPED_TRACE(std::string(s.done_vers ? s.done_vers : "(none)") + " " + std::to_string(s.done_code));
        EXPECT_EQ(svc_skip(s.done_vers, s.done_code, s.vers), s.skip);
    }

    struct Out {
        SvcRun run;
        unsigned long result;
        bool installed;
        unsigned long exit;
        bool needed, started;
    } outs[] = {
        {RUN_DONE, 0, true, 0, false, false},         {RUN_DONE, 3010, true, 3010, true, false},
        {RUN_DONE, 1641, true, 1641, false, true},    {RUN_DONE, 1, false, 1, false, false},
        {RUN_DONE, 0xC0000005, false, 0xC0000005, false, false},
        {RUN_NOSTART, 0, false, 0, false, false},  // a start that failed never counts as installed
        {RUN_NOSTART, 2, false, 2, false, false},     {RUN_TIMEOUT, 0, false, SVC_ERR_TIMEOUT, false, false},
        {RUN_STOPPED, 3010, false, SVC_ERR_STOPPED, false, false},
    };
    for (auto& o : outs) {
        SCOPED_TRACE(std::to_string(o.run) + " " + std::to_string(o.result));
        SvcOutcome r = svc_outcome(o.run, o.result);
        EXPECT_EQ(r.installed, o.installed);
        if (o.installed) EXPECT_EQ(r.code, o.result);
        EXPECT_EQ(r.exit, o.exit);
        EXPECT_EQ(r.restart_needed, o.needed);
        EXPECT_EQ(r.restart_started, o.started);
    }
}

// What becomes of the next package of a plan, from what the task knows.
TEST(ServiceRules, PackageStep)
{
    enum { W = 1, A = 1, K = 1, S = 1, R = 1 };  // window set, assigned, keyed, share ready, script ok
    struct Row {
        int window, from, to, minute, share, keyed, assigned, self, script;
        const char* done_vers;
        int code, tries, wait;
        SvcPackageStep want;
    } rows[] = {
        {0, 0, 0, 0, S, K, A, 0, R, nullptr, -1, -1, -1, STEP_RUN},                 // new, assigned
        {W, 1320, 300, 1400, S, K, A, 1, R, nullptr, -1, -1, -1, STEP_RUN},         // 23:20 in 22:00-05:00
        {W, 1320, 300, 720, S, K, A, 1, R, "1.0", 0, -1, -1, STEP_WINDOW_CLOSED},   // noon: even a skip waits
        {W, 1320, 300, 300, 0, 0, 0, 0, 0, nullptr, -1, -1, -1, STEP_WINDOW_CLOSED}, // the end is outside
        {W, 600, 600, 0, S, K, A, 1, R, nullptr, -1, -1, -1, STEP_RUN},            // equal times: all day
        {0, 0, 0, 0, 0, 0, A, 1, 0, nullptr, -1, -1, -1, STEP_SHARE_LOST},          // before any refusal
        {0, 0, 0, 0, S, 0, 0, 0, 0, nullptr, -1, -1, -1, STEP_REFUSE_KEY},
        {0, 0, 0, 0, S, K, 0, 0, R, "1.0", 0, -1, -1, STEP_REFUSE_SELF},            // chosen, self 0: not even skipped
        {0, 0, 0, 0, S, K, 0, 0, 0, nullptr, -1, -1, -1, STEP_REFUSE_SELF},
        {0, 0, 0, 0, S, K, 0, 1, 0, nullptr, -1, -1, -1, STEP_REFUSE_SCRIPT},
        {0, 0, 0, 0, S, K, A, 0, 0, "1.0", 0, -1, -1, STEP_REFUSE_SCRIPT},          // a bad path is never skipped
        {0, 0, 0, 0, S, K, 0, 1, R, nullptr, -1, -1, -1, STEP_RUN},                 // chosen, self 1
        {0, 0, 0, 0, S, K, A, 0, R, "1.0", 3010, -1, -1, STEP_SKIP},
        {0, 0, 0, 0, S, K, A, 0, R, "1.0", 0, 5, 3, STEP_SKIP},                     // installed beats old tries
        {0, 0, 0, 0, S, K, A, 0, R, "1.0", -1, 3, 2, STEP_BACKOFF},
        {0, 0, 0, 0, S, K, A, 0, R, "1.0", -1, 3, -1, STEP_BACKOFF},                // wait lost: its back-off
        {0, 0, 0, 0, S, K, A, 0, R, "1.0", -1, 1, -1, STEP_RUN},                    // one failure: tried again
        {0, 0, 0, 0, S, K, A, 0, R, "1.0", -1, 3, 0, STEP_RUN},                     // its turn
        {0, 0, 0, 0, S, K, A, 0, R, "0.9", -1, 9, 9, STEP_RUN},                     // another version's failures
        {0, 0, 0, 0, S, K, A, 0, R, "1.0", -1, -1, 9, STEP_RUN},                    // tries lost: none
    };
    for (const Row& r : rows) {
        SvcPackageFacts f = {r.window != 0, r.from, r.to, r.minute, r.share != 0, r.keyed != 0, r.assigned != 0,
                             r.self, r.script != 0, "1.0", r.done_vers, r.code, r.tries, r.wait, 60};
        EXPECT_EQ(svc_package_step(f), r.want) << (&r - rows);
    }
}

TEST(ServiceRules, CommandLineAndBounds)
{
    const char* cmd = "C:\\windows\\system32\\cmd.exe";
    const char* pre = "\"C:\\windows\\system32\\cmd.exe\" /d /e:on /v:on /s /c ";
    struct Row {
        const char* script;
        size_t size;
        const char* want;  // after pre; null: refused
    } rows[] = {
        // the script by ".\" in its folder, and nothing after it but the
        // exit with its ERRORLEVEL, expanded when it runs
        {"\\\\srv\\pk\\pkg\\a b\\Install.cmd", NX_PATH,
         "\"pushd \"\\\\srv\\pk\\pkg\\a b\" && \".\\Install.cmd\" & exit !errorlevel!\""},
        {"Y:\\pkg\\a&b\\x.cmd", NX_PATH, "\"pushd \"Y:\\pkg\\a&b\" && \".\\x.cmd\" & exit !errorlevel!\""},
        {"Y:\\x.cmd", NX_PATH, "\"pushd \"Y:\\\" && \".\\x.cmd\" & exit !errorlevel!\""},  // the drive's root
        {"Y:\\pkg\\a^b\\x.cmd", NX_PATH, "\"pushd \"Y:\\pkg\\a^b\" && \".\\x.cmd\" & exit !errorlevel!\""},
        {"Y:\\pkg\\a\\x^y.cmd", NX_PATH, "\"pushd \"Y:\\pkg\\a\" && \".\\x^y.cmd\" & exit !errorlevel!\""},
        {"Y:\\pkg\\a\"b\\x.cmd", NX_PATH, nullptr},
        {"Y:\\pkg\\%x%\\x.cmd", NX_PATH, nullptr},
        {"Y:\\pkg\\a!x!b\\x.cmd", NX_PATH, nullptr},  // expanded under /v:on
        {"Y:\\pkg\\a\\x!.cmd", NX_PATH, nullptr},
        {"Y:\\pkg\\a\nb\\x.cmd", NX_PATH, nullptr},
        {"x.cmd", NX_PATH, nullptr},  // no folder
        {"Y:\\pkg\\", NX_PATH, nullptr},
        {"", NX_PATH, nullptr},
        {"Y:\\pkg\\x.cmd", 100, nullptr},  // does not fit
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.script);
        char out[NX_PATH];
        bool ok = svc_command_line(out, r.size, cmd, r.script);
        EXPECT_EQ(ok, r.want != nullptr);
        EXPECT_EQ(std::string(out), r.want ? std::string(pre) + r.want : "");
        EXPECT_EQ(svc_script_quotable(r.script), !strpbrk(r.script, "\"%!\n"));
        // Windows' cmd ends with the last command's code: nothing may run
        // after the script but the exit that passes its ERRORLEVEL on.
        if (ok) EXPECT_EQ(std::string(out).substr(std::string(out).rfind("\" & ") + 4), "exit !errorlevel!\"");
    }
    // The file of a script's output: the package's folders, no path.
    struct Name { const char *script, *want; size_t size; } names[] = {
        {"\\\\srv\\pk\\pkg\\T\\A b\\1.0\\Install.cmd", "script-T-A_b-1.0.log", 64},
        {"Y:\\pkg\\T\\..\\1.0\\Install.cmd", "script-T-..-1.0.log", 64},
        {"Y:\\a\\x.cmd", "script-a.log", 64},
        {"Y:\\x.cmd", nullptr, 64}, {"x.cmd", nullptr, 64},
        {"Y:\\pkg\\T\\A\\1.0\\Install.cmd", nullptr, 16},  // does not fit
    };
    for (auto& nm : names) {
        char out[64];
        EXPECT_EQ(svc_output_name(out, nm.size, nm.script), nm.want != nullptr) << nm.script;
        EXPECT_STREQ(out, nm.want ? nm.want : "") << nm.script;
    }

    EXPECT_FALSE(svc_log_full(SVC_LOG_LIMIT - 1));
    EXPECT_TRUE(svc_log_full(SVC_LOG_LIMIT));
    EXPECT_EQ(svc_seconds(-1, SVC_TMAX), SVC_TMAX);
    EXPECT_EQ(svc_seconds(0, SVC_TSVC), SVC_TSVC);
    EXPECT_EQ(svc_seconds(5, SVC_TMAX), 5);
    EXPECT_EQ(svc_seconds(0x7fffffff, SVC_TMAX), SVC_TLONGEST);
}

// Which cmd runs, where a list path under the drive runs from, and the
// platform's answers that Wine cannot give: a busy installer, a restart
// refused or pending, the sessions that hear of it.
TEST(ServiceRules, PlatformRules)
{
    const char* U = "\\\\srv\\packages";
    char out[NX_PATH];
    // The cmd.exe; a refusal leaves an empty text.
    auto cmd = [&](const char* windir, const char* sysdir, bool wow64, size_t n) {
        return std::string(svc_cmd_path(out, n, windir, sysdir, wow64) ? "" : "refused:") + out;
    };
    EXPECT_EQ(cmd("C:\\Windows", "C:\\Windows\\SysWOW64", true, NX_PATH), "C:\\Windows\\Sysnative\\cmd.exe");
    EXPECT_EQ(cmd("C:\\Windows", "C:\\Windows\\system32", false, NX_PATH), "C:\\Windows\\system32\\cmd.exe");
    EXPECT_EQ(cmd("C:\\", "C:\\system32", true, NX_PATH), "C:\\Sysnative\\cmd.exe");
    EXPECT_EQ(cmd("", "C:\\Windows\\system32", true, NX_PATH), "refused:");
    EXPECT_EQ(cmd("C:\\Windows", "C:\\Windows\\SysWOW64", true, 20), "refused:");  // does not fit
    struct Unc { const char *path, *uncp; size_t size; const char* want; } uncs[] = {
        {"Y:\\pkg\\A\\b\\1.0\\Install.cmd", U, NX_PATH, "\\\\srv\\packages\\pkg\\A\\b\\1.0\\Install.cmd"},
        {"y:\\PKG\\x.cmd", "\\\\srv\\packages\\", NX_PATH, "\\\\srv\\packages\\PKG\\x.cmd"},
        {"\\\\srv\\packages\\pkg\\x.cmd", U, NX_PATH, "\\\\srv\\packages\\pkg\\x.cmd"},
        {"Y:\\pkg\\x.cmd", "", NX_PATH, "Y:\\pkg\\x.cmd"},  // no share set: as listed
        {"Z:\\pkg\\x.cmd", U, NX_PATH, "Z:\\pkg\\x.cmd"},
        {"Y:\\pkg\\x.cmd", U, 24, nullptr},  // does not fit
    };
    for (auto& u : uncs) {
        SCOPED_TRACE(u.path);
        EXPECT_EQ(svc_unc_script(out, u.size, u.path, "Y:", u.uncp), u.want != nullptr);
        EXPECT_STREQ(out, u.want ? u.want : "");
    }
    struct Share { const char *path, *want; } shares[] = {
        {"\\\\srv\\packages\\pkg\\x.cmd", U}, {"\\\\srv\\packages", U}, {"\\\\srv\\", nullptr},
        {"\\\\srv", nullptr}, {"\\\\\\x", nullptr}, {"Y:\\pkg\\x.cmd", nullptr},
    };
    for (auto& sh : shares) {
        SCOPED_TRACE(sh.path);
        EXPECT_EQ(svc_unc_share(out, sizeof out, sh.path), sh.want != nullptr);
        EXPECT_STREQ(out, sh.want ? sh.want : "");
    }
    EXPECT_TRUE(svc_installer_busy(1618));
    EXPECT_FALSE(svc_installer_busy(1603));

    const long long T = 13400000000LL;
    struct Step { long long requested, accepted, boot, now; RestartStep want; } steps[] = {
        {T, T, T + 200, T + 300, RESTART_DONE},      // it happened
        {T, 0, T + 200, T + 300, RESTART_DONE},      // restarted by someone else
        {T, 0, T - 5000, T + 60, RESTART_TRY},       // refused so far (not ready at boot)
        {T, T, T - 5000, T + 60, RESTART_WAIT},      // within its grace
        {T, T, T - 5000, T + 719, RESTART_WAIT},
        {T, T, T - 5000, T + 720, RESTART_TRY},      // cancelled: asked again
        {T, T + 900, T - 5000, T + 60, RESTART_TRY}, // the clock went back
    };
    for (auto& st : steps)
        EXPECT_EQ(svc_restart_step(st.requested, st.accepted, st.boot, st.now, 120), st.want) << st.now - T;
    struct Answer { unsigned long error; bool accepted; } answers[] = {
        {0, true}, {1115, true}, {1190, true}, {21, false}, {5, false}, {1187, false}};
    for (auto& an : answers) EXPECT_EQ(svc_restart_accepted(an.error), an.accepted) << an.error;
    struct Kept { const char* text; bool ok; long long requested, accepted; } kept[] = {
        {"13400000000 0", true, T, 0}, {"13400000000 13400000060", true, T, T + 60}, {"13400000000", false, 0, 0},
        {"0 0", false, 0, 0}, {"x 1", false, 0, 0}, {"1 2 3", false, 0, 0}, {"1 -2", false, 0, 0},
    };
    for (auto& k : kept) {
        SCOPED_TRACE(k.text);
        long long r = 0, a = 0;
        EXPECT_EQ(svc_restart_parse(k.text, &r, &a), k.ok);
        EXPECT_EQ(r, k.requested);
        EXPECT_EQ(a, k.accepted);
    }
    // id, WTS state (0 active, 1 connected, 4 disconnected), told
    struct Session { unsigned long id; int state; bool told; } sessions[] = {
        {1, 0, true}, {3, 0, true}, {0, 0, false}, {2, 4, false}, {65536, 1, false}};
    for (auto& se : sessions) EXPECT_EQ(svc_message_session(se.id, se.state), se.told) << se.id;
}

TEST(ServiceRules, PlanTakesChoicesOnly)
{
    auto sec = [](const char* comp, const char* name, const char* vers, const char* path) {
        SvcSection s;
        snprintf(s.comp, sizeof s.comp, "%s", comp);
        snprintf(s.name, sizeof s.name, "%s", name);
        snprintf(s.vers, sizeof s.vers, "%s", vers);
        snprintf(s.path, sizeof s.path, "%s", path);
        return s;
    };
    const char* A = "Y:\\pkg\\Contoso\\PdfViewer\\4.1\\Install.cmd";
    // The group file may name a package otherwise than its folders.
    std::vector<SvcSection> assigned = {sec("Contoso Ltd", "PDF Viewer", "4.1", A), sec("T", "Base", "1.0", "Y:\\b.cmd")};
    struct Row {
        const char* what;
        std::vector<SvcSection> chosen;
        std::vector<std::string> want;  // "a|path" assigned, "u|name" the user's own
        size_t repeats;
    } rows[] = {
        {"assigned, with the user's path text", {sec("Contoso Ltd", "PDF Viewer", "4.1", "C:\\evil.cmd")}, {std::string("a|") + A}, 0},
        {"another case: still the assigned one", {sec("contoso ltd", "pdf viewer", "4.1", "")}, {std::string("a|") + A}, 0},
        {"another version: the user's own", {sec("Contoso Ltd", "PDF Viewer", "9.9", A)}, {"u|PDF Viewer"}, 0},
        {"chosen twelve times", std::vector<SvcSection>(12, sec("T", "Victim", "1.0", "x")), {"u|Victim"}, 11},
        {"order kept, repeats dropped",
         {sec("T", "Base", "1.0", ""), sec("T", "Victim", "1.0", ""), sec("T", "BASE", "1.0", "")},
         {"a|Y:\\b.cmd", "u|Victim"}, 1},
        {"nothing chosen", {}, {}, 0},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(r.what);
        std::vector<SvcPlanned> plan;
        EXPECT_EQ(svc_plan(1252, assigned, &r.chosen, &plan), r.repeats);
        std::vector<std::string> got;
        for (auto& p : plan) got.push_back(p.assigned ? std::string("a|") + p.s.path : std::string("u|") + p.s.name);
        EXPECT_EQ(got, r.want);
    }
    // No choice saved: the assigned list, each package once.
    std::vector<SvcPlanned> plan;
    assigned.push_back(assigned[0]);
    EXPECT_EQ(svc_plan(1252, assigned, nullptr, &plan), 1u);
    EXPECT_EQ(plan.size(), 2u);
}

TEST(ServiceRules, BackoffAndLogText)
{
    // At most a day of tasks: 1439 of one minute, 23 of one hour.
    struct Wait { int tries, tsvc, want; } waits[] = {{0, 60, 0},     {1, 60, 0},    {2, 60, 1},    {3, 60, 3},     {4, 60, 7},   {11, 60, 1023},
                 {12, 60, 1439}, {40, 60, 1439}, {5, 3600, 15}, {6, 3600, 23}, {3, 86400, 0}, {200, 0, 1439}};
    for (auto& w : waits) {
        SCOPED_TRACE(std::to_string(w.tries) + " at " + std::to_string(w.tsvc));
        EXPECT_EQ(svc_backoff(w.tries, w.tsvc), w.want);
    }

    // A start is tried again only for a passing shortage, and not forever.
    struct Again { unsigned long error; int attempts; bool want; } agains[] = {
        {NX_ERR_INTERNAL_ERROR, 1, true}, {NX_ERR_COMMITMENT_LIMIT, 2, true}, {NX_ERR_INTERNAL_ERROR, 3, false},
        {NX_ERR_FILE_NOT_FOUND, 1, false}, {5, 1, false}, {193, 1, false}};
    for (auto& a : agains) {
        SCOPED_TRACE(std::to_string(a.error) + " after " + std::to_string(a.attempts));
        EXPECT_EQ(svc_start_again(a.error, a.attempts), a.want);
    }

    struct Show { const char* text; size_t size; const char* want; } shows[] = {
        {"Y:\\pkg\\forged\r\n2020-01-01\tInstall", 64, "Y:\\pkg\\forged<0D><0A>2020-01-01<09>Install"},
        {"a\x1b[2Jb\x7f\xe4", 64, "a<1B>[2Jb<7F>\xe4"},  // code page letters stay
        {"abc\tdef", 6, "abc"},  // cut before a marker that does not fit
    };
    for (auto& sh : shows) {
        SCOPED_TRACE(sh.want);
        char out[64];
        svc_show(out, sh.size, sh.text);
        EXPECT_STREQ(out, sh.want);
    }
}

TEST(ServiceRules, BoundedListRead)
{
    const std::string sec = "[T A]\ncomp=T\nname=A\npath=Y:\\pkg\\T\\A\\1.0\\Install.cmd\nvers=1.0\n\n";
    struct Row { std::string text; long bytes; size_t sections; ListRead want; size_t count; } rows[] = {
        {sec + sec, 1000, 2, LIST_READ, 2}, {sec + sec + sec, 1000, 2, LIST_TOO_MANY, 0},
        {sec + sec, (long)(2 * sec.size()), 5, LIST_READ, 2},  // exactly at the bound
        {sec + sec + "\n", (long)(2 * sec.size()), 5, LIST_TOO_LARGE, 0},
        {std::string(5000, '\0') + sec, 1000, 5, LIST_TOO_LARGE, 0},
    };
    for (auto& r : rows) {
        SCOPED_TRACE(std::to_string(r.text.size()) + " bytes");
        FILE* f = tmpfile();
        ASSERT_NE(f, nullptr);
        fwrite(r.text.data(), 1, r.text.size(), f);
        rewind(f);
        std::vector<SvcSection> list(3);
        EXPECT_EQ(svc_read_list(f, r.bytes, r.sections, &list), r.want);
        EXPECT_EQ(list.size(), r.count);
        if (r.want != LIST_READ) EXPECT_EQ(list.capacity(), 0u);
        if (r.count) EXPECT_STREQ(list[1].path, "Y:\\pkg\\T\\A\\1.0\\Install.cmd");
        fclose(f);
    }
    // A UTF-8 path the code page cannot hold (r-caron) is kept apart, never listed.
    FILE* f = tmpfile();
    ASSERT_NE(f, nullptr);
    fputs(("[T D]\ncomp=T\nname=D\npath=Y:\\pkg\\Dvo\xC5\x99\xC3\xA1k\\Install.cmd\nvers=1\n\n" + sec).c_str(), f);
    rewind(f);
    std::vector<SvcSection> list, lost;
    EXPECT_EQ(svc_read_list(f, 1000, 1, &list, &lost), LIST_READ);
    fclose(f);
    ASSERT_EQ(list.size(), 1u);
    ASSERT_EQ(lost.size(), 1u);
    EXPECT_STREQ(lost[0].path, "Y:\\pkg\\Dvo?\xE1k\\Install.cmd");
}

// Group Policy over the product's own value: what a policy value must be
// to win, and that the password never comes from policy.
TEST(ServiceRules, PolicyPick)
{
    const long SZ = 1, EXPAND = 2, DWORD = 4;
    const struct {
        int id;
        long type;
        unsigned long number;
        size_t length;
        const char* odd;  // "" the policy value is used, null there is none
    } cases[] = {
        {SVC_SET_UNCP, SZ, 0, 259, ""},         {SVC_SET_UNCP, EXPAND, 0, 17, ""},
        {SVC_SET_UNCP, -1, 0, 0, nullptr},      {SVC_SET_UNCP, DWORD, 5, 0, "not a REG_SZ"},
        {SVC_SET_UNCP, SZ, 0, 0, "empty"},      {SVC_SET_UNCP, SZ, 0, NX_PATH, "out of range"},
        {SVC_SET_NDRV, SZ, 0, 4, "out of range"}, {SVC_SET_PSWD, SZ, 0, 6, nullptr},
        {SVC_SET_STOP, DWORD, 2, 0, "out of range"}, {SVC_SET_TMAX, 3, 0, 0, "not a REG_DWORD"},
        {SVC_SET_TMAX, DWORD, 0, 0, "out of range"}, {SVC_SET_TMAX, DWORD, 604800, 0, ""},
        {SVC_SET_SELF, DWORD, 0xFFFFFFFF, 0, "out of range"}, {SVC_SETTINGS, DWORD, 1, 0, nullptr},
    };
    for (const auto& c : cases) {
        const char* odd = "unset";
        SvcPolicy want = !c.odd ? SVC_POLICY_NONE : *c.odd ? SVC_POLICY_ODD : SVC_POLICY_USE;
        EXPECT_EQ(want, svc_policy_pick(c.id, c.type, c.number, c.length, &odd)) << c.id << " " << c.type;
        EXPECT_STREQ(c.odd && *c.odd ? c.odd : nullptr, odd) << c.id;
    }
}

// The maintenance window and a restart put off: a malformed window means
// nothing (never "never"), minutes across midnight, the reminders as the
// deadline nears, and a clock set back that must not buy time.
TEST(ServiceRules, WindowAndDeferral)
{
    // text, then minutes in and out of it; texts that are no window
    struct Win { const char* text; std::vector<int> in, out; } wins[] = {
        {"08:00-17:30", {480, 1049}, {479, 1050, 0}},
        {"22:00-05:00", {1320, 1439, 0, 299}, {300, 1319, 720}},  // across midnight
        {"00:00-00:00", {0, 720, 1439}, {}},                     // the whole day
        {"23:59-00:00", {1439}, {0, 1438}},
    };
    for (auto& w : wins) {
        int from = -1, to = -1;
        ASSERT_TRUE(svc_window_parse(w.text, &from, &to)) << w.text;
        for (int m : w.in) EXPECT_TRUE(svc_window_open(from, to, m)) << w.text << " " << m;
        for (int m : w.out) EXPECT_FALSE(svc_window_open(from, to, m)) << w.text << " " << m;
    }
    int from, to;
    for (const char* bad : {"25:00-02:00", "08:00", "8:00-17:00", "08:60-17:00", "08:00-24:00", "08:00 -17:00",
                            "never", "", "08:00-17:00x"})
        EXPECT_FALSE(svc_window_parse(bad, &from, &to)) << bad;
    // tdef as read (-1: the console's untouched field); seconds left -> asked again after
    struct Pair { long long in, want; };
    for (Pair h : {Pair{-1, 0}, {-5, 0}, {0, 0}, {8, 8}, {720, 720}, {721, 720}, {0x7fffffff, 720}})
        EXPECT_EQ(svc_defer_hours((int)h.in), h.want) << h.in;
    const long long H = 3600;
    for (Pair r : {Pair{72 * H, 4 * H}, {24 * H + 1, 4 * H}, {24 * H, H}, {4 * H + 1, H}, {4 * H, H / 4},
                   {H / 4, H / 4}, {600, 600}, {0, 0}, {-60, 0}})
        EXPECT_EQ(svc_remind_after(r.in), r.want) << r.in;
    // deadline T + 8 h, next ask T + 1 h, the clock last read at T
    const long long T = 13400000000LL;
    struct Step { long long now; DeferStep want; long long deadline, next; } steps[] = {
        {T + 60, DEFER_WAIT, T + 8 * H, T + H},
        {T + H, DEFER_ASK, T + 8 * H, T + H},
        {T + 8 * H, DEFER_FORCE, T + 8 * H, T + H},
        {T - 2 * H, DEFER_WAIT, T + 6 * H, T - H},       // set back 2 h: 8 h are still 8 h
        {T - 10 * H, DEFER_WAIT, T - 2 * H, T - 9 * H},  // set back 10 h: still 8 h left, not 18
    };
    for (auto& st : steps) {
        SvcDefer d = {T + 8 * H, T + H, T};
        EXPECT_EQ(svc_defer_step(&d, st.now), st.want) << st.now - T;
        EXPECT_EQ(d.deadline, st.deadline) << st.now - T;
        EXPECT_EQ(d.next, st.next) << st.now - T;
        EXPECT_EQ(d.seen, st.now);
    }
    SvcDefer d;
    EXPECT_TRUE(svc_defer_parse("13400028800 13400003600 13400000000", &d));
    for (const char* bad : {"1 2", "1 2 3 4", "1 0 3", "a b c", ""}) EXPECT_FALSE(svc_defer_parse(bad, &d)) << bad;
}

// The signed share's manifest as sha256sum writes it, and the "sign"
// setting: what is taken, what refuses the whole manifest, how paths match.
TEST(ServiceRules, ManifestAndThumbprints)
{
    const std::string h(64, 'a'), H = std::string(63, 'a') + "A";
    struct Row {
        std::string text;
        ManifestVerdict want;
        size_t line, entries;
    } rows[] = {
        {"# sequence 7\n" + h + "  pkg/T/A/1.0/Install.cmd\n" + h + " *cfg\\Assignment.ini\r\n", MANIFEST_OK, 3, 2},
        {"# sequence 7", MANIFEST_OK, 1, 0},
        {"", MANIFEST_NO_SEQUENCE, 0, 0},
        {"# sequence \n", MANIFEST_NO_SEQUENCE, 1, 0},
        {"# sequence -1\n", MANIFEST_NO_SEQUENCE, 1, 0},
        {"# sequence 99999999999999999999\n", MANIFEST_NO_SEQUENCE, 1, 0},  // past 64 bits
        {h + "  a\n", MANIFEST_NO_SEQUENCE, 1, 0},
        {"# sequence 1\n" + H + "  a\n", MANIFEST_BAD_LINE, 2, 0},  // sha256sum writes lower case
        {"# sequence 1\n" + h.substr(1) + "g  a\n", MANIFEST_BAD_LINE, 2, 0},
        {"# sequence 1\n" + h + " a\n", MANIFEST_BAD_LINE, 2, 0},
        {"# sequence 1\n" + h + "  \n", MANIFEST_BAD_LINE, 2, 0},
        {"# sequence 1\n" + h + "  ../x\n", MANIFEST_BAD_PATH, 2, 0},
        {"# sequence 1\n" + h + "  \\\\srv\\x\n", MANIFEST_BAD_PATH, 2, 0},
        {"# sequence 1\n" + h + "  C:/x\n", MANIFEST_BAD_PATH, 2, 0},
        {"# sequence 1\n" + h + "  a//b\n", MANIFEST_BAD_PATH, 2, 0},
        {"# sequence 1\n" + h + "  a/./b\n", MANIFEST_BAD_PATH, 2, 0},
        {"# sequence 1\n" + h + "  a\tb\n", MANIFEST_BAD_PATH, 2, 0},
        {"# sequence 1\n" + h + "  " + std::string(NX_PATH, 'x') + "\n", MANIFEST_BAD_PATH, 2, 0},
        {"# sequence 1\n" + h + "  pkg/A\n" + h + "  PKG\\a\n", MANIFEST_DUPLICATE, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.text.substr(0, 80));
        Manifest m;
        size_t line = 99;
        EXPECT_EQ(parse_manifest(r.text.data(), r.text.size(), &m, &line), r.want);
        EXPECT_EQ(line, r.line);
        EXPECT_EQ(m.entries.size(), r.entries);
    }
    Manifest m;
    size_t line;
    std::string text = "# sequence 3\n" + h + "  pkg/T/A/1.0/Install.cmd\n" + h + "  pkg/T/A/1.0/sub/x\n" + h +
                       "  pkg/T/AB/1.0/Install.cmd\n";
    ASSERT_EQ(parse_manifest(text.data(), text.size(), &m, &line), MANIFEST_OK);
    EXPECT_EQ(m.sequence, 3u);
    EXPECT_NE(manifest_find(m, "PKG\\t\\a\\1.0\\install.cmd"), nullptr);
    EXPECT_EQ(manifest_find(m, "pkg\\T\\A\\1.0"), nullptr);
    EXPECT_EQ(manifest_count_under(m, "pkg\\T\\A\\1.0"), 2u);  // not AB's
    EXPECT_EQ(manifest_count_under(m, "pkg/T/A"), 2u);
    std::string big(MANIFEST_MAX_BYTES + 1, '\n');
    EXPECT_EQ(parse_manifest(big.data(), big.size(), &m, &line), MANIFEST_TOO_LARGE);

    const std::string t1(40, 'A'), t2(40, '0');
    struct Sign {
        std::string text;
        size_t count;
        bool ok;
    } signs[] = {{"", 0, true}, {" ; ", 0, true}, {t1 + ";" + t2, 2, true}, {" " + t1 + " ;", 1, true},
                 {t1.substr(1), 0, false}, {t1 + "0", 0, false}, {t1 + "," + t2, 0, false}, {t2.substr(1) + "g", 0, false}};
    for (const Sign& s : signs) {
        SCOPED_TRACE(s.text);
        std::vector<std::string> out;
        const char* why;
        EXPECT_EQ(parse_thumbprints(s.text.c_str(), &out, &why), s.ok);
        EXPECT_EQ(out.size(), s.count);
        if (s.count) EXPECT_EQ(out[0], std::string(40, 'a'));  // compared in lower case
    }
    EXPECT_EQ(sequence_of("18446744073709551615"), 0u);
    EXPECT_EQ(sequence_of("12"), 12u);
}
