// The help file nxwin.chm as a user meets it: a compiled HTML Help file
// beside nxwin.exe whose contents name every topic, whose pages are inside
// it, that the platform's HTML Help opens with those topics, and that the
// console's Help command opens from the program's folder.
// The file is read through the platform's own InfoTech storage (itss.dll),
// the reader HTML Help itself uses, not by a parser of the test's own.
#include "testutil.h"
#include "drive.h"
#include <htmlhelp.h>
#include <objbase.h>
#include <string.h>
#include <algorithm>

// The InfoTech storage of the platform (itss.dll). Its SDK header is not
// part of MinGW; only the methods up to the one used are declared, in
// their interface order. Outside the anonymous namespace: there the
// compiler may assume no object of the interface exists and drop the calls.
const GUID CLSID_ITStorage = {0x5d02926a, 0x212e, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
const GUID IID_ITStorage = {0x88cc31de, 0x27ab, 0x11d0, {0x9d, 0xf9, 0x00, 0xa0, 0xc9, 0x22, 0xe6, 0xec}};
struct IITStorage : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfile(const WCHAR*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgCreateDocfileOnILockBytes(ILockBytes*, DWORD, DWORD, IStorage**) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageFile(const WCHAR*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgIsStorageILockBytes(ILockBytes*) = 0;
    virtual HRESULT STDMETHODCALLTYPE StgOpenStorage(const WCHAR*, IStorage*, DWORD, SNB, DWORD, IStorage**) = 0;
};

namespace {

const char* const kHelpTitle = "NXSvc Console Help";

struct Topic {
    const char* name;
    const char* file;
};
// The contents, in order: title of each topic and its page.
const Topic kTopics[] = {
    {"NXSvc Console", "overview.htm"},
    {"Views, pictures and status texts", "views.htm"},
    {"Commands, keys and toolbar buttons", "commands.htm"},
    {"Working with packages", "packages.htm"},
    {"Admin mode and group lists", "admin.htm"},
    {"Service settings", "settings.htm"},
    {"Installation service", "service.htm"},
    {"Share layout", "share.htm"},
    {"Devices view and Fleet Report", "fleet.htm"},
    {"Writing a package", "writing.htm"},
    {"Assignment report", "report.htm"},
    {"Log files", "logs.htm"},
    {"Troubleshooting", "troubleshooting.htm"},
    {"Deploying to devices", "deploy.htm"},
    {"Platform check and Event Log", "check.htm"},
};
const size_t kTopicCount = sizeof kTopics / sizeof kTopics[0];

std::string help_file() { return tu::exe_dir() + "\\nxwin.chm"; }

std::wstring wide(const std::string& s)
{
    wchar_t w[MAX_PATH * 2] = L"";
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, w, MAX_PATH * 2);
    return w;
}

// One opened help file; files inside it are read by name ("toc.hhc").
class ChmFile {
public:
    explicit ChmFile(const std::string& path)
    {
        CoInitialize(nullptr);
        IITStorage* its = nullptr;
        hr = CoCreateInstance(CLSID_ITStorage, nullptr, CLSCTX_INPROC_SERVER, IID_ITStorage, (void**)&its);
        if (FAILED(hr) || !its) return;
        hr = its->StgOpenStorage(wide(path).c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &stg);
        its->Release();
    }
    ~ChmFile()
    {
        if (stg) stg->Release();
        CoUninitialize();
    }
    bool open() const { return stg != nullptr; }
    // The file's contents; false when it is not in the help file.
    bool read(const std::string& name, std::string* out) const
    {
        out->clear();
        if (!stg) return false;
        IStream* s = nullptr;
        if (FAILED(stg->OpenStream(wide(name).c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &s)) || !s)
            return false;
        char buf[4096];
        ULONG n = 0;
        while (SUCCEEDED(s->Read(buf, sizeof buf, &n)) && n > 0) out->append(buf, n);
        s->Release();
        return true;
    }
    std::vector<std::string> names() const
    {
        std::vector<std::string> all;
        IEnumSTATSTG* e = nullptr;
        if (!stg || FAILED(stg->EnumElements(0, nullptr, 0, &e)) || !e) return all;
        STATSTG st;
        ULONG got = 0;
        while (e->Next(1, &st, &got) == S_OK && got == 1) {
            char n[MAX_PATH] = "";
            WideCharToMultiByte(CP_ACP, 0, st.pwcsName, -1, n, sizeof n, nullptr, nullptr);
            all.push_back(n);
            CoTaskMemFree(st.pwcsName);
        }
        e->Release();
        return all;
    }
    HRESULT hr = E_FAIL;

private:
    IStorage* stg = nullptr;
};

// The (Name, Local) pairs of a contents or index file, in order.
std::vector<std::pair<std::string, std::string>> sitemap_entries(const std::string& text)
{
    std::vector<std::pair<std::string, std::string>> out;
    auto param = [&](size_t from, size_t to, const char* name) {
        std::string key = std::string("<param name=\"") + name + "\" value=\"";
        size_t p = text.find(key, from);
        if (p == std::string::npos || p > to) return std::string();
        p += key.size();
        return text.substr(p, text.find('"', p) - p);
    };
    size_t p = 0;
    while ((p = text.find("<OBJECT type=\"text/sitemap\">", p)) != std::string::npos) {
        size_t end = text.find("</OBJECT>", p);
        if (end == std::string::npos) break;
        out.emplace_back(param(p, end, "Name"), param(p, end, "Local"));
        p = end;
    }
    return out;
}

std::string page_title(const std::string& page)
{
    size_t a = page.find("<title>");
    size_t b = page.find("</title>");
    if (a == std::string::npos || b == std::string::npos || b < a) return "<no title>";
    return page.substr(a + 7, b - a - 7);
}

// Visible top-level HTML Help windows with the help file's title.
std::vector<HWND> help_windows()
{
    std::vector<HWND> found;
    EnumWindows(
        [](HWND w, LPARAM l) __attribute__((stdcall)) -> BOOL {
            char title[NX_PATH] = "", cls[64] = "";
            GetWindowTextA(w, title, sizeof title);
            GetClassNameA(w, cls, sizeof cls);
            if (IsWindowVisible(w) && strcmp(title, kHelpTitle) == 0 && strcmp(cls, "HH Parent") == 0)
                ((std::vector<HWND>*)l)->push_back(w);
            return TRUE;
        },
        (LPARAM)&found);
    return found;
}

// Texts of the top-level items of the first tree view inside a window of
// this process (the help window's contents pane).
std::vector<std::string> contents_items(HWND help)
{
    std::vector<std::string> items;
    HWND tree = nullptr;
    EnumChildWindows(
        help,
        [](HWND w, LPARAM l) __attribute__((stdcall)) -> BOOL {
            char cls[64] = "";
            GetClassNameA(w, cls, sizeof cls);
            if (strcmp(cls, WC_TREEVIEWA) != 0) return TRUE;
            *(HWND*)l = w;
            return FALSE;
        },
        (LPARAM)&tree);
    if (!tree) return items;
    for (HTREEITEM it = TreeView_GetRoot(tree); it; it = TreeView_GetNextSibling(tree, it)) {
        char text[NX_PATH] = "";
        TVITEMA tv = {};
        tv.mask = TVIF_TEXT;
        tv.hItem = it;
        tv.pszText = text;
        tv.cchTextMax = sizeof text;
        SendMessageA(tree, TVM_GETITEMA, 0, (LPARAM)&tv);
        items.push_back(text);
    }
    return items;
}

void close_help(HWND help)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(help, &pid);
    if (pid) tu::close_process(pid);
}

// The help file, opened through the platform's storage for each test.
class HelpFile : public tu::NxTest {
protected:
    ChmFile chm{help_file()};
    void SetUp() override
    {
        tu::NxTest::SetUp();
        ASSERT_TRUE(chm.open()) << help_file() << std::hex << " " << chm.hr;
    }
};

// Every topic is in the contents, in order, with its title, and its page
// and pictures are inside the file.
TEST_F(HelpFile, IsACompiledHelpFileWithEveryTopic)
{
    ASSERT_TRUE(tu::file_exists(tu::exe_dir() + "\\nxwin.exe"));
    EXPECT_EQ(tu::read_file(help_file()).substr(0, 4), "ITSF");
    std::vector<std::string> names = chm.names();
    for (const char* f : {"#SYSTEM", "#WINDOWS", "help.css"})
        EXPECT_NE(std::find(names.begin(), names.end(), f), names.end()) << f;
    std::string toc;
    ASSERT_TRUE(chm.read("toc.hhc", &toc));
    auto entries = sitemap_entries(toc);
    ASSERT_EQ(entries.size(), kTopicCount) << toc;
    for (size_t i = 0; i < kTopicCount; i++) {
        const Topic& t = kTopics[i];
        EXPECT_EQ(entries[i].first, t.name);
        EXPECT_EQ(entries[i].second, t.file);
        std::string page;
        ASSERT_TRUE(chm.read(t.file, &page)) << t.file;
        EXPECT_EQ(page_title(page), t.name) << t.file;
        for (size_t p = 0; (p = page.find("src=\"", p)) != std::string::npos;) {
            p += 5;
            std::string src = page.substr(p, page.find('"', p) - p);
            std::string data;
            EXPECT_TRUE(chm.read(src, &data)) << t.file << ": " << src;
            EXPECT_EQ(data.substr(0, 4), "\x89PNG") << src;
        }
    }
}

TEST_F(HelpFile, TopicsUseTheConsolesOwnTexts)
{
    auto page = [&](const char* file) {
        std::string text;
        EXPECT_TRUE(chm.read(file, &text)) << file;
        return text;
    };
    const struct {
        const char* file;
        std::vector<const char*> texts;
    } expected[] = {
        {"commands.htm",
         {"Show Assignmets for this Device", "Find Packages in UNC path", "Save Package List for this Device",
          "Exit", "Help", "Info", "Open Package List", "Save Package List", "Save current Package List",
          "Change Install Order (INSTALL EARLIER ...)", "Change Install Order (INSTALL LATER ...)", "F1", "F2",
          "F3", "F4", "F5", "Delete", "images/tb0.png", "images/tb1.png", "images/tb2.png", "images/tb3.png",
          "Helpfile nxwin.chm not found!"}},
        {"views.htm",
         {"available", "ready to install", "failed to install", "Network error, check configuration!",
          "images/img04.png", "images/img05.png", "images/img06.png", "images/img07.png", "images/img08.png",
          "images/img12.png", "Software.csv"}},
        {"packages.htm",
         {"NXWin will exit now. NXSvc will start NXWin automatically when new Packages are installed.",
          "comp=", "name=", "path=", "vers=", "nxsvc.ini", "Edit Properties"}},
        {"admin.htm", {"/admin", "Open Package List", "Save Package List", "Admin"}},
        {"settings.htm",
         {"Software\\Veltrane\\NxSvc", "UNC Path", "Drive", "User", "Password", "Stop service after first task",
          "Time max. package installation [s]", "Time to display a message [s]",
          "Time to wait for next task [s]", "Time to wait for System Reboot [s]", "uncp", "ndrv", "user", "pswd",
          "stop", "tmax", "tmsg", "tsvc", "twrb", "self", "Users may add packages (1/0)", "NXSvc Configuration",
          "Insufficent rights to set value"}},
        {"share.htm", {"pkg", "Install.cmd", "cfg\\Assignment.ini", "status\\", "Worked example", "ZRP"}},
        {"fleet.htm",
         {"Devices", "Fleet Report", "nxfleet.htm", "Last Report", "Restart Pending", "Service Version",
          "no report for", "unreadable", "images/console-devices.png"}},
        {"report.htm", {"nxsvc.htm", "Assignments for Device", "Assigned Packages", "Number", "Version"}},
        {"logs.htm",
         {"nxwin.log", "nxdll.log", "WinMain () RUN ...", "ReadINI (", "OnSave (", "FindCMD () GO ...",
          "Thread () OK ...", "CNet::WNetAddConnection (", "pkg_find () OK ...", "minimize:"}},
        {"check.htm", {"nxsvc.exe /check", "exit !errorlevel!", "1219", "Check () OK ... 6 exit codes in"}},
        {"troubleshooting.htm",
         {"Network error, check configuration!", "failed to install", "Could not open", "Could not write",
          "Helpfile nxwin.chm not found!"}},
    };
    for (const auto& e : expected) {
        std::string text = page(e.file);
        for (const char* t : e.texts) EXPECT_NE(text.find(t), std::string::npos) << e.file << " lacks " << t;
    }
}

TEST_F(HelpFile, IndexPointsIntoTheHelp)
{
    std::string index;
    ASSERT_TRUE(chm.read("index.hhk", &index));
    auto entries = sitemap_entries(index);
    EXPECT_GE(entries.size(), 20u);
    bool network = false;
    for (const auto& e : entries) {
        std::string page;
        EXPECT_TRUE(chm.read(e.second, &page)) << e.first << " -> " << e.second;
        network |= e.first == "Network error, check configuration!";
    }
    EXPECT_TRUE(network);
}

TEST_F(HelpFile, HtmlHelpOpensItWithItsContents)
{
    CoInitialize(nullptr);
    HWND help = HtmlHelpA(GetDesktopWindow(), help_file().c_str(), HH_DISPLAY_TOPIC, 0);
    ASSERT_NE(help, nullptr);
    char title[NX_PATH] = "";
    GetWindowTextA(help, title, sizeof title);
    EXPECT_STREQ(title, kHelpTitle);
    std::vector<std::string> items;
    tu::wait_until([&] {
        items = contents_items(help);
        return items.size() == kTopicCount;
    });
    ASSERT_EQ(items.size(), kTopicCount);
    for (size_t i = 0; i < kTopicCount; i++) EXPECT_EQ(items[i], kTopics[i].name);
    HtmlHelpA(nullptr, nullptr, HH_CLOSE_ALL, 0);
    EXPECT_TRUE(tu::wait_until([&] { return !IsWindow(help); }));
    CoUninitialize();
}

// The real console, copied with the library (and the help file) into a
// folder of its own and started from another folder.
class ConsoleHelp : public tu::NxTest {
protected:
    tu::Proc console;
    HWND window = nullptr;
    void start(bool with_help)
    {
        ASSERT_TRUE(help_windows().empty()) << "a help window is open already";
        std::string app = dir + "\\app";
        tu::make_dirs(app);
        for (const char* f : {"nxwin.exe", "nxsvc.dll", "nxwin.chm"}) {
            if (!with_help && strcmp(f, "nxwin.chm") == 0) continue;
            ASSERT_TRUE(CopyFileA((tu::exe_dir() + "\\" + f).c_str(), (app + "\\" + f).c_str(), FALSE)) << f;
        }
        ASSERT_TRUE(tu::start_program("\"" + app + "\\nxwin.exe\"", &console, dir.c_str()));
        window = nxd::wait_console(30000);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(nxd::console_pid(window), console.pid);
    }
    void TearDown() override
    {
        // Whatever failed, neither a help window nor the console outlives
        // the test.
        for (HWND h : help_windows()) close_help(h);
        if (console.process) {
            if (window && console.wait(0) == -1) nxd::post_command(window, CMD_EXIT);
            if (console.wait(15000) == -1) console.kill();
        }
        tu::NxTest::TearDown();
    }
};

TEST_F(ConsoleHelp, HelpOpensTheFileBesideTheProgram)
{
    start(true);
    nxd::post_command(window, CMD_HELP);
    std::vector<HWND> helps;
    tu::wait_until([&] { return !(helps = help_windows()).empty(); }, 30000);
    HWND box = nxd::find_dialog(window, "");
    EXPECT_EQ(box, nullptr) << nxd::dialog_text(box);
    ASSERT_EQ(helps.size(), 1u);
    DWORD help_pid = 0;
    GetWindowThreadProcessId(helps[0], &help_pid);
    EXPECT_NE(help_pid, console.pid) << "the shell opens the file in the help viewer";
    close_help(helps[0]);
    EXPECT_TRUE(help_windows().empty());
    nxd::post_command(window, CMD_EXIT);
    EXPECT_EQ(console.wait(15000), 0);
}

TEST_F(ConsoleHelp, WithoutTheFileHelpSaysSo)
{
    start(false);
    nxd::post_command(window, CMD_HELP);
    HWND box = nxd::wait_dialog(window, "", 15000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(nxd::dialog_text(box), "Helpfile nxwin.chm not found!");
    nxd::press(box, IDOK);
    EXPECT_TRUE(tu::find_processes("hh.exe").empty());
    nxd::post_command(window, CMD_EXIT);
    EXPECT_EQ(console.wait(15000), 0);
}

}  // namespace
