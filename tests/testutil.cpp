#include "testutil.h"
#include <tlhelp32.h>
#include <stdio.h>
#include <string.h>

namespace tu {

std::string read_file(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string s;
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    fclose(f);
    return s;
}

bool write_file(const std::string& path, const std::string& data)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    size_t n = fwrite(data.data(), 1, data.size(), f);
    fclose(f);
    return n == data.size();
}

bool file_exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void make_dirs(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
}

// By the wide names: tests make folders the code page cannot name, which the
// ANSI calls would leave behind for the next test.
static void clear_dir_w(const std::wstring& path)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring n = fd.cFileName, p = path + L"\\" + n;
        if (n == L"." || n == L"..") continue;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            clear_dir_w(p);
            RemoveDirectoryW(p.c_str());
        } else {
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (!DeleteFileW(p.c_str())) RemoveDirectoryW(p.c_str());
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

void clear_dir(const std::string& path)
{
    wchar_t w[MAX_PATH * 2];
    if (MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, w, MAX_PATH * 2) > 0) clear_dir_w(w);
}

int copy_tree(const std::string& src, const std::string& dst)
{
    make_dirs(dst);
    int folders = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((src + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do {
        std::string n = fd.cFileName;
        if (n == "." || n == "..") continue;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            folders += 1 + copy_tree(src + "\\" + n, dst + "\\" + n);
        else
            CopyFileA((src + "\\" + n).c_str(), (dst + "\\" + n).c_str(), FALSE);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return folders;
}

void remove_tree(const std::string& path)
{
    clear_dir(path);
    RemoveDirectoryA(path.c_str());
}

std::vector<std::string> split_lines(const std::string& text)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < text.size()) {
        size_t e = text.find('\n', start);
        std::string line = text.substr(start, e == std::string::npos ? std::string::npos : e - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
        if (e == std::string::npos) break;
        start = e + 1;
    }
    return out;
}

std::vector<std::string> log_bodies(const std::string& text)
{
    std::vector<std::string> out;
    for (auto& l : split_lines(text)) {
        size_t tab = l.find('\t');
        if (tab != std::string::npos) out.push_back(l.substr(tab + 1));
    }
    return out;
}

std::string exe_dir()
{
    char p[MAX_PATH];
    GetModuleFileNameA(nullptr, p, MAX_PATH);
    std::string s = p;
    return s.substr(0, s.rfind('\\'));
}

void reg_delete_tree(HKEY root, const char* key) { RegDeleteTreeA(root, key); RegDeleteKeyA(root, key); }

void reg_set_raw(const char* key, const char* name, DWORD type, const void* data, DWORD size)
{
    HKEY h;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(h, name, 0, type, (const BYTE*)data, size), ERROR_SUCCESS);
    RegCloseKey(h);
}

void reg_set_str(const char* key, const char* name, const std::string& value, DWORD type)
{
    reg_set_raw(key, name, type, value.c_str(), (DWORD)value.size() + 1);
}

void reg_set_dword(const char* key, const char* name, DWORD value) { reg_set_raw(key, name, REG_DWORD, &value, 4); }

bool reg_get_raw(const char* key, const char* name, DWORD* type, std::string* data)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    DWORD size = 0;
    LONG r = RegQueryValueExA(h, name, nullptr, type, nullptr, &size);
    if (r == ERROR_SUCCESS) {
        data->assign(size, 0);
        r = RegQueryValueExA(h, name, nullptr, type, (BYTE*)&(*data)[0], &size);
    }
    RegCloseKey(h);
    return r == ERROR_SUCCESS;
}

std::string reg_text(const std::string& key, const char* name)
{
    DWORD type = 0;
    std::string data;
    if (!reg_get_raw(key.c_str(), name, &type, &data) || type != REG_SZ) return "<none>";
    return std::string(data.c_str());
}

long long reg_number(const std::string& key, const char* name)
{
    DWORD type = 0;
    std::string data;
    if (!reg_get_raw(key.c_str(), name, &type, &data) || type != REG_DWORD || data.size() != 4) return -1000;
    DWORD v;
    memcpy(&v, data.data(), 4);
    return v;
}

void set_env(const char* name, const char* value) { SetEnvironmentVariableA(name, value); }

std::string get_env(const char* name, bool* present)
{
    char buf[32768];
    SetLastError(0);
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    bool p = n > 0 || GetLastError() != ERROR_ENVVAR_NOT_FOUND;
    if (present) *present = p;
    return n > 0 && n < sizeof buf ? std::string(buf, n) : std::string();
}

bool wait_until(const std::function<bool()>& pred, int timeout_ms)
{
    DWORD end = GetTickCount() + timeout_ms;
    for (;;) {
        if (pred()) return true;
        if ((int)(end - GetTickCount()) <= 0) return pred();
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            if (m.message == WM_QUIT) continue;
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void pump(int ms)
{
    wait_until([] { return false; }, ms);
}

void DrainMessages()
{
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
        if (m.message != WM_QUIT) DispatchMessageA(&m);
    }
}

int Proc::wait(int ms)
{
    if (!process) return -1;
    if (WaitForSingleObject(process, ms) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return (int)code;
}

void Proc::kill()
{
    if (process) {
        TerminateProcess(process, 99);
        WaitForSingleObject(process, 5000);
    }
}

Proc::~Proc()
{
    if (process) CloseHandle(process);
}

std::vector<DWORD> find_processes(const char* exe)
{
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return ids;
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (_stricmp(pe.szExeFile, exe) == 0) ids.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return ids;
}

std::vector<HWND> process_windows(DWORD pid)
{
    struct Find {
        DWORD pid;
        std::vector<HWND> found;
    } find = {pid, {}};
    EnumWindows(
        [](HWND w, LPARAM l) __attribute__((stdcall)) -> BOOL {
            Find* f = (Find*)l;
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            if (owner == f->pid && IsWindowVisible(w)) f->found.push_back(w);
            return TRUE;
        },
        (LPARAM)&find);
    return find.found;
}

void close_process(DWORD pid, int wait_ms)
{
    HANDLE p = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    for (HWND w : process_windows(pid)) PostMessageA(w, WM_CLOSE, 0, 0);
    if (!p) return;
    if (WaitForSingleObject(p, wait_ms) != WAIT_OBJECT_0) {
        TerminateProcess(p, 1);
        WaitForSingleObject(p, 5000);
    }
    CloseHandle(p);
}

bool start_program(const std::string& cmdline, Proc* p, const char* dir)
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> cl(cmdline.begin(), cmdline.end());
    cl.push_back(0);
    if (!CreateProcessA(nullptr, cl.data(), nullptr, nullptr, FALSE, 0, nullptr, dir, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    p->process = pi.hProcess;
    p->pid = pi.dwProcessId;
    return true;
}

int run_program(const std::string& cmdline, int wait_ms, const char* dir)
{
    Proc p;
    if (!start_program(cmdline, &p, dir)) return -2;
    int r = p.wait(wait_ms);
    if (r == -1) p.kill();
    return r;
}

// ---- modal dialogs -------------------------------------------------------

ModalAutomator* ModalAutomator::current = nullptr;

static void CALLBACK automator_timer(HWND, UINT, UINT_PTR, DWORD)
{
    if (ModalAutomator::current) ModalAutomator::current->tick();
}

ModalAutomator::ModalAutomator()
{
    current = this;
    timer_ = SetTimer(nullptr, 0, 25, automator_timer);
    idle_since_ = GetTickCount();
}

ModalAutomator::~ModalAutomator()
{
    KillTimer(nullptr, timer_);
    current = nullptr;
}

void ModalAutomator::Expect(const std::string& title, Action action) { items_.push_back({title, action}); }

int ModalAutomator::pending() const { return (int)items_.size(); }

struct FindCtx {
    std::vector<HWND> found;
};

static BOOL CALLBACK collect_dialogs(HWND h, LPARAM lp)
{
    char cls[64];
    GetClassNameA(h, cls, sizeof cls);
    if (IsWindowVisible(h) && strcmp(cls, "#32770") == 0) ((FindCtx*)lp)->found.push_back(h);
    return TRUE;
}

void ModalAutomator::tick()
{
    FindCtx ctx;
    EnumThreadWindows(GetCurrentThreadId(), collect_dialogs, (LPARAM)&ctx);
    if (ctx.found.empty()) {
        idle_since_ = GetTickCount();
        return;
    }
    for (HWND h : ctx.found) {
        char title[256];
        GetWindowTextA(h, title, sizeof title);
        if (!items_.empty() && items_.front().title == title) {
            Item it = items_.front();
            items_.erase(items_.begin());
            seen.push_back(title);
            it.action(h);
            idle_since_ = GetTickCount();
            return;
        }
    }
    // Watchdog: a dialog nobody expects is cancelled so the test fails
    // instead of hanging.
    if (GetTickCount() - idle_since_ > 5000) {
        HWND h = ctx.found.back();
        char title[256];
        GetWindowTextA(h, title, sizeof title);
        unexpected.push_back(title);
        PostMessageA(h, WM_COMMAND, IDCANCEL, 0);
        PostMessageA(h, WM_CLOSE, 0, 0);
        idle_since_ = GetTickCount();
    }
}

ModalAutomator::Action Press(int id)
{
    return [id](HWND h) { PostMessageA(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(h, id)); };
}

ModalAutomator::Action ReadAndConfirm(std::string* text)
{
    return [text](HWND h) {
        *text = MessageBoxText(h);
        Press(IDOK)(h);
    };
}

ModalAutomator::Action SetTextsAndPress(std::vector<std::pair<int, std::string>> texts, int id)
{
    return [texts, id](HWND h) {
        for (auto& t : texts) SetDlgItemTextA(h, t.first, t.second.c_str());
        PostMessageA(h, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(h, id));
    };
}

static BOOL CALLBACK longest_static(HWND h, LPARAM lp)
{
    char cls[32];
    GetClassNameA(h, cls, sizeof cls);
    if (_stricmp(cls, "Static") == 0) {
        char t[1024];
        GetWindowTextA(h, t, sizeof t);
        std::string* best = (std::string*)lp;
        if (strlen(t) > best->size()) *best = t;
    }
    return TRUE;
}

std::string MessageBoxText(HWND box)
{
    std::string best;
    EnumChildWindows(box, longest_static, (LPARAM)&best);
    return best;
}

// ---- fixtures ------------------------------------------------------------

void NxTest::SetUp()
{
    DrainMessages();
    reg_delete_tree(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\NxSvc");
    reg_delete_tree(HKEY_LOCAL_MACHINE, "Software\\Policies\\Veltrane\\NxSvc");
    const ::testing::TestInfo* ti = ::testing::UnitTest::GetInstance()->current_test_info();
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    std::string name = std::string(ti->test_suite_name()) + "." + ti->name();
    for (char& c : name)
        if (c == '/' || c == '\\' || c == ':') c = '_';
    dir = std::string(base) + "nxt\\" + name;
    remove_tree(dir);
    make_dirs(dir);
    temp = dir + "\\temp";
    pub = dir + "\\public";
    make_dirs(temp);
    make_dirs(pub);
    old_temp_ = get_env("TEMP", &had_temp_);
    old_public_ = get_env("PUBLIC", &had_public_);
    set_env("TEMP", temp.c_str());
    set_env("PUBLIC", pub.c_str());
}

void NxTest::TearDown()
{
    set_env("TEMP", had_temp_ ? old_temp_.c_str() : nullptr);
    set_env("PUBLIC", had_public_ ? old_public_.c_str() : nullptr);
    reg_delete_tree(HKEY_LOCAL_MACHINE, "Software\\Veltrane\\NxSvc");
    reg_delete_tree(HKEY_LOCAL_MACHINE, "Software\\Policies\\Veltrane\\NxSvc");
    DrainMessages();
    if (!HasFailure()) remove_tree(dir);
}

std::string NxTest::log_text() { return read_file(temp + "\\nxwin.log"); }

void ShareTest::SetUp()
{
    NxTest::SetUp();
    ASSERT_EQ(GetDriveTypeA("Y:\\"), (UINT)DRIVE_REMOTE) << "Y: must be a network drive (scripts/wine-env.sh up)";
    clear_dir("Y:");
    clear_dir("X:");
}

void ShareTest::TearDown()
{
    clear_dir("Y:");
    clear_dir("X:");
    NxTest::TearDown();
}

FileHolder::FileHolder(const std::string& path, const char* share)
{
    char name[64];
    snprintf(name, sizeof name, "nx_hold_%lu_%p", GetCurrentProcessId(), (void*)this);
    HANDLE ready = CreateEventA(nullptr, TRUE, FALSE, name);
    std::string cmd = "\"" + exe_dir() + "\\nx_hold.exe\" \"" + path + "\" " + share + " " + name;
    if (ready && start_program(cmd, &proc_)) {
        HANDLE both[2] = {ready, proc_.process};
        held_ = WaitForMultipleObjects(2, both, FALSE, 15000) == WAIT_OBJECT_0;
    }
    if (ready) CloseHandle(ready);
}

const ListBlock kListBlocks[4] = {{"read-only", nullptr, "Could not open "},
                                   {"held, nothing shared", "none", "Could not open "},
                                   {"held, reading shared", "read", "Could not open "},
                                   {"held, reading and writing shared", "rw", "Could not write "}};

Blocked::Blocked(const std::string& path, const ListBlock& b) : path_(path)
{
    if (!b.share) {
        ok_ = SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
        return;
    }
    holder_.reset(new FileHolder(path, b.share));
    ok_ = holder_->held();
}

Blocked::~Blocked()
{
    holder_.reset();
    SetFileAttributesA(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace tu
