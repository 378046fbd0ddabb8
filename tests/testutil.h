// Test harness: isolated registry and folders per test, the test drives,
// driving modal dialogs, waiting on conditions, running whole programs.
#pragma once
#include <windows.h>
#include "ncfg.h"      // NX_PATH
#include "resource.h"  // the console's command ids
#include <gtest/gtest.h>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tu {

// Files and folders (Windows paths).
std::string read_file(const std::string& path);               // "" when missing
bool write_file(const std::string& path, const std::string& data);  // binary, exact bytes
bool file_exists(const std::string& path);
void make_dirs(const std::string& path);
void remove_tree(const std::string& path);                     // contents and the folder
int copy_tree(const std::string& src, const std::string& dst);  // returns the folders below src
void clear_dir(const std::string& path);                       // contents only
std::vector<std::string> split_lines(const std::string& text);  // on "\n", CR removed
std::string exe_dir();
std::vector<std::string> log_bodies(const std::string& text);  // each log line's text after its stamp and tab                                          // folder of the test exe, no trailing "\"

// Registry under HKLM (or another root).
void reg_delete_tree(HKEY root, const char* key);
void reg_set_str(const char* key, const char* name, const std::string& value, DWORD type = REG_SZ);
void reg_set_dword(const char* key, const char* name, DWORD value);
void reg_set_raw(const char* key, const char* name, DWORD type, const void* data, DWORD size);
bool reg_get_raw(const char* key, const char* name, DWORD* type, std::string* data);
// A REG_SZ value's text, or "<none>"; a REG_DWORD value, or -1000.
std::string reg_text(const std::string& key, const char* name);
long long reg_number(const std::string& key, const char* name);

// Environment (Win32, which child processes inherit).
void set_env(const char* name, const char* value);  // null value removes it
std::string get_env(const char* name, bool* present = nullptr);

// Pumps the thread's messages until pred() or the timeout; returns pred().
bool wait_until(const std::function<bool()>& pred, int timeout_ms = 5000);
void pump(int ms);           // pump messages for about ms
void DrainMessages();        // drops everything queued, WM_QUIT included

// Runs a program; waits up to wait_ms; returns its exit code or -1 on
// time-out (the process is then left running and its handle returned).
struct Proc {
    HANDLE process = nullptr;
    DWORD pid = 0;
    int wait(int ms);       // exit code, or -1 while still running
    void kill();
    ~Proc();
};
bool start_program(const std::string& cmdline, Proc* p, const char* dir = nullptr);
int run_program(const std::string& cmdline, int wait_ms = 30000, const char* dir = nullptr);

// Other programs, such as the help viewer the console starts through the
// shell: ids of running processes with that file name ("hh.exe"), their
// visible top-level windows, and closing one (its windows are asked to
// close; it is ended if it does not within the wait).
std::vector<DWORD> find_processes(const char* exe);
std::vector<HWND> process_windows(DWORD pid);
void close_process(DWORD pid, int wait_ms = 15000);

// Another process holding a file open ("none", "read" or "rw" sharing,
// see tests/hosts/nx_hold.cpp) for as long as the object lives.
class FileHolder {
public:
    FileHolder(const std::string& path, const char* share);
    ~FileHolder() { proc_.kill(); }
    bool held() const { return held_; }
private:
    Proc proc_;
    bool held_ = false;
};

// The ways a list can be kept from being replaced: read-only, or held by
// another program with some sharing. `line` starts the failure text each
// gives (the path and "!" follow).
struct ListBlock {
    const char* what;
    const char* share;  // FileHolder sharing, or null for read-only
    const char* line;
};
extern const ListBlock kListBlocks[4];

// Puts one block on path for as long as the object lives.
class Blocked {
public:
    Blocked(const std::string& path, const ListBlock& b);
    ~Blocked();
    bool ok() const { return ok_; }
private:
    std::string path_;
    std::unique_ptr<FileHolder> holder_;
    bool ok_ = false;
};

// Drives modal dialogs and message boxes of this thread with a thread
// timer: every modal loop dispatches WM_TIMER. Expectations are served in
// order; an unexpected dialog is closed by the watchdog and recorded.
class ModalAutomator {
public:
    using Action = std::function<void(HWND)>;
    ModalAutomator();
    ~ModalAutomator();
    void Expect(const std::string& title, Action action);
    int pending() const;
    std::vector<std::string> seen;        // titles of every dialog acted on
    std::vector<std::string> unexpected;  // titles closed by the watchdog
    static ModalAutomator* current;
    void tick();
private:
    struct Item { std::string title; Action action; };
    std::vector<Item> items_;
    UINT_PTR timer_ = 0;
    DWORD idle_since_ = 0;
};
// Common actions.
ModalAutomator::Action Press(int id);
ModalAutomator::Action SetTextsAndPress(std::vector<std::pair<int, std::string>> texts, int id);
std::string MessageBoxText(HWND box);  // the longest static text of a box
// Keeps a message box's text in *text, then presses its OK button.
ModalAutomator::Action ReadAndConfirm(std::string* text);

// Per-test isolation: clean HKLM "Software\\Veltrane\\NxSvc" and a fresh
// folder with TEMP and PUBLIC pointing into it.
class NxTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::string dir;     // the test's own folder
    std::string temp;    // dir\temp  (TEMP)
    std::string pub;     // dir\public (PUBLIC)
    std::string log_text();  // TEMP\nxwin.log
private:
    std::string old_temp_, old_public_;
    bool had_temp_ = false, had_public_ = false;
};

// Adds the drives: Y: is a folder Wine reports as a network drive
// (DRIVE_REMOTE), X: a local disk. Both are emptied for each test.
class ShareTest : public NxTest {
protected:
    void SetUp() override;
    void TearDown() override;
};

}  // namespace tu
