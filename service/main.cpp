// nxsvc.exe, the installation service NXSvc.
//   nxsvc                 runs as the service (started by the service control manager)
//   nxsvc /run            the same loop in the foreground until Ctrl+C
//   nxsvc /once           exactly one task in the foreground; exit code 0 when it ran
//   /norestart            with the above: log a restart instead of performing it
//   nxsvc /check          the platform check: one row per probe, exit code 1 when one fails
//   nxsvc /install        registers the service (automatic start, LocalSystem) and its event source
//   nxsvc /uninstall      stops and removes it
//   nxsvc /sign <share> <thumbprint>
//                         writes the share's signed manifest with that certificate of the store
#include "svc.h"
#include "scoped.h"
#include "service_contract.h"
#include "version.h"
#include <knownfolders.h>
#include <process.h>
#include <shlobj.h>
#include <stdio.h>

char mfolder[NX_PATH];
HANDLE mstop;

static SERVICE_STATUS_HANDLE mstatus_handle;
static SERVICE_STATUS mstatus;
static CRITICAL_SECTION mstatus_lock;
static SvcOptions mopts;

// Start-pending and stop-pending carry a rising check point and a wait hint.
static void report(DWORD state, DWORD exit_code = NO_ERROR)
{
    EnterCriticalSection(&mstatus_lock);
    bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    mstatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    mstatus.dwCheckPoint = pending && mstatus.dwCurrentState == state ? mstatus.dwCheckPoint + 1 : pending ? 1 : 0;
    mstatus.dwCurrentState = state;
    mstatus.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    mstatus.dwWin32ExitCode = exit_code;
    mstatus.dwWaitHint = pending ? 5000 : 0;
    SetServiceStatus(mstatus_handle, &mstatus);
    LeaveCriticalSection(&mstatus_lock);
}

static DWORD WINAPI control(DWORD code, DWORD, void*, void*)
{
    switch (code) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        svc_log("Stop (%lu) GO ...\n", code);
        SetEvent(mstop);
        report(SERVICE_STOP_PENDING);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        EnterCriticalSection(&mstatus_lock);
        SetServiceStatus(mstatus_handle, &mstatus);
        LeaveCriticalSection(&mstatus_lock);
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

static unsigned __stdcall worker(void* result)
{
    *(DWORD*)result = svc_run(mopts);
    return 0;
}

// The data folder of the library is "PUBLIC", which a user's programs
// have but a service may lack; without it the service would read another
// list than the console writes.
static void set_public()
{
    char dir[NX_PATH];
    DWORD n = GetEnvironmentVariableA("PUBLIC", dir, sizeof dir);
    if (n > 0 && n < sizeof dir) return;
    wchar_t* w = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Public, 0, nullptr, &w)) &&
        WideCharToMultiByte(CP_ACP, 0, w, -1, dir, sizeof dir, nullptr, nullptr) > 0) {
        SetEnvironmentVariableA("PUBLIC", dir);
        svc_log("PUBLIC (%s) OK ...\n", dir);
    } else {
        svc_log("PUBLIC () failed: %lu\n", GetLastError());
    }
    CoTaskMemFree(w);
}

static void WINAPI service_main(DWORD, char**)
{
    mstatus_handle = RegisterServiceCtrlHandlerExA(SVC_NAME, control, nullptr);
    if (!mstatus_handle) return;
    report(SERVICE_START_PENDING);
    svc_log("NXSvc (service) RUN ...\n");
    set_public();
    DWORD result = 0;
    ScopedHandle thread((HANDLE)_beginthreadex(nullptr, 0, worker, &result, 0, nullptr));
    if (!thread) {
        DWORD e = GetLastError();
        svc_log("NXSvc (service) failed: %lu\n", e);
        report(SERVICE_STOPPED, e);
        return;
    }
    report(SERVICE_RUNNING);
    svc_event(NXEV_STARTED, NX_VERSION_TEXT);
    // The worker ends after "stop" 1, or soon after a stop request; while it
    // finishes, the manager hears that the stop goes on.
    while (WaitForSingleObject(thread.get(), 1000) == WAIT_TIMEOUT)
        if (svc_stopping()) report(SERVICE_STOP_PENDING);
    thread.reset();
    svc_log("NXSvc () END ...\n");
    svc_event(NXEV_STOPPED);
    report(SERVICE_STOPPED, result);
}

static BOOL WINAPI on_ctrl_c(DWORD)
{
    svc_log("Stop (Ctrl+C) GO ...\n");
    SetEvent(mstop);
    return TRUE;
}

// At boot the share is reached through the Workstation service, and the
// first minutes belong to the user's logon: the service depends on it and
// starts delayed. The wide calls: the ANSI list of dependencies is not
// stored whole on every platform.
static void configure_start(SC_HANDLE svc)
{
    wchar_t deps[] = L"LanmanWorkstation\0";
    if (!ChangeServiceConfigW(svc, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, nullptr, nullptr, nullptr,
                              deps, nullptr, nullptr, nullptr))
        printf("ChangeServiceConfig (LanmanWorkstation) failed: %lu\n", GetLastError());
    SERVICE_DELAYED_AUTO_START_INFO delayed = {TRUE};
    if (!ChangeServiceConfig2W(svc, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &delayed))
        printf("ChangeServiceConfig2 (delayed start) failed: %lu\n", GetLastError());
}

// A service that ends unexpectedly is started again after a minute, three
// times; the count starts over after a day without failure. The package
// (scripts/release/package.sh) sets the same.
static void set_failure_actions(SC_HANDLE svc)
{
    SC_ACTION actions[3];
    for (SC_ACTION& a : actions) a = {SC_ACTION_RESTART, SVC_RESTART_DELAY_MS};
    SERVICE_FAILURE_ACTIONSA fa = {};
    fa.dwResetPeriod = SVC_FAILURE_RESET_S;
    fa.cActions = 3;
    fa.lpsaActions = actions;
    if (!ChangeServiceConfig2A(svc, SERVICE_CONFIG_FAILURE_ACTIONS, &fa))
        printf("ChangeServiceConfig2 (failure actions) failed: %lu\n", GetLastError());
}

static int install_service()
{
    char exe[NX_PATH], bin[NX_PATH + 2];
    DWORD n = GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (n == 0 || n >= sizeof exe || fmt_str(bin, "\"%s\"", exe)) return 1;
    ScopedService scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!scm) {
        printf("OpenSCManager failed: %lu\n", GetLastError());
        return 1;
    }
    ScopedService svc(CreateServiceA(scm.get(), SVC_NAME, SVC_DISPLAY_NAME, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                   SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, bin, nullptr, nullptr, nullptr, nullptr,
                                   nullptr));
    if (!svc) {
        printf("CreateService (%s) failed: %lu\n", SVC_NAME, GetLastError());
        return 1;
    }
    char text[] = SVC_DESCRIPTION;
    SERVICE_DESCRIPTIONA d = {text};
    ChangeServiceConfig2A(svc.get(), SERVICE_CONFIG_DESCRIPTION, &d);
    configure_start(svc.get());
    set_failure_actions(svc.get());
    if (!svc_event_register(exe)) return 1;
    printf("%s installed: %s\n", SVC_NAME, bin);
    return 0;
}

static int uninstall_service()
{
    ScopedService scm(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    ScopedService svc(scm ? OpenServiceA(scm.get(), SVC_NAME, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE) : nullptr);
    if (!svc) {
        printf("OpenService (%s) failed: %lu\n", SVC_NAME, GetLastError());
        return 1;
    }
    SERVICE_STATUS st = {};
    if (ControlService(svc.get(), SERVICE_CONTROL_STOP, &st))
        for (int i = 0; i < 30 && QueryServiceStatus(svc.get(), &st) && st.dwCurrentState != SERVICE_STOPPED; i++)
            Sleep(1000);
    BOOL ok = DeleteService(svc.get());
    svc_event_unregister();
    if (!ok) printf("DeleteService (%s) failed: %lu\n", SVC_NAME, GetLastError());
    return ok ? 0 : 1;
}

// nxsvc /check: every row, printed for the administrator and logged; the
// share's rows with the configured share and account (read through the
// library, as the service does).
static int platform_check()
{
    svc_log("Check (/check) RUN ...\n");
    set_public();
    NCFG ncfg = {};
    char lib[NX_PATH];
    ScopedLibrary m(fmt_str(lib, "%s\\%s", mfolder, SVC_LIB_FILE)
                        ? nullptr
                        : LoadLibraryExA(lib, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    typedef int(__cdecl * set_ncfg_fn)(NCFG*);
    set_ncfg_fn set_ncfg = m ? (set_ncfg_fn)GetProcAddress(m.get(), "set_ncfg") : nullptr;
    if (set_ncfg) set_ncfg(&ncfg);
    std::vector<SvcCheckRow> rows;
    std::string failed;
    bool ok = svc_check(true, &ncfg, &rows, &failed);
    m.reset();
    printf("%-40s %-20s %-20s %s\n", "Check", "Expected", "Observed", "Result");
    for (const SvcCheckRow& r : rows) {
        const char* verdict = !r.run ? "not run" : r.ok ? "OK" : "FAILED";
        printf("%-40s %-20s %-20s %s\n", r.what.c_str(), r.expected.c_str(), r.observed.c_str(), verdict);
        if (r.ok)
            svc_log("Check (%s) OK ... %s\n", r.what.c_str(), r.observed.c_str());
        else if (!r.run)
            svc_log("Check (%s) MSG ... %s\n", r.what.c_str(), r.observed.c_str());
        else
            svc_log("Check (%s) expected %s, observed %s, failed: %d\n", r.what.c_str(), r.expected.c_str(),
                    r.observed.c_str(), (int)ERROR_NOT_SUPPORTED);
    }
    printf(ok ? "The platform check passed.\n" : "The platform check failed: %s\n", failed.c_str());
    svc_log("Check (/check) END ... %s\n", ok ? "passed" : "failed");
    return ok ? 0 : 1;
}

static int usage()
{
    fputs("usage: nxsvc [/run | /once] [/norestart] | /check | /install | /uninstall | /sign <share> <thumbprint>\n"
          "  (no argument: started by the service control manager)\n",
          stderr);
    return 2;
}

int main(int argc, char** argv)
{
    bool run = false, once = false, inst = false, uninst = false, check = false;
    const char *sign_share = nullptr, *sign_thumb = nullptr;
    for (int i = 1; i < argc; i++) {
        if (_stricmp(argv[i], "/run") == 0)
            run = true;
        else if (_stricmp(argv[i], "/once") == 0)
            once = true;
        else if (_stricmp(argv[i], "/norestart") == 0)
            mopts.norestart = true;
        else if (_stricmp(argv[i], "/check") == 0)
            check = true;
        else if (_stricmp(argv[i], "/install") == 0)
            inst = true;
        else if (_stricmp(argv[i], "/uninstall") == 0)
            uninst = true;
        else if (_stricmp(argv[i], "/sign") == 0 && i + 2 < argc && !sign_share)
            sign_share = argv[++i], sign_thumb = argv[++i];
        else
            return usage();
    }
    if (run + once + inst + uninst + check + (sign_share != nullptr) > 1) return usage();
    if (inst) return install_service();
    if (uninst) return uninstall_service();

    // The DLL search path loses the current folder; the library is loaded
    // by its full path anyway.
    SetDllDirectoryA("");
    DWORD n = GetModuleFileNameA(nullptr, mfolder, sizeof mfolder);
    char* slash = n > 0 && n < sizeof mfolder ? strrchr(mfolder, '\\') : nullptr;
    if (!slash) return 1;
    *slash = 0;
    mstop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    InitializeCriticalSection(&mstatus_lock);
    svc_log_open();
    svc_event_open();
    if (sign_share) {
        int r = svc_sign_share(sign_share, sign_thumb);
        svc_event_close();
        svc_log_close();
        return r;
    }
    if (check) {
        int r = platform_check();
        svc_event_close();
        svc_log_close();
        return r;
    }

    if (run || once) {
        mopts.once = once;
        SetConsoleCtrlHandler(on_ctrl_c, TRUE);
        svc_log("NXSvc (%s) RUN ...\n", once ? "/once" : "/run");
        set_public();
        DWORD r = svc_run(mopts);
        svc_log("NXSvc () END ...\n");
        svc_event_close();
        svc_log_close();
        return r ? 1 : 0;
    }
    mopts.service = true;
    char name[] = SVC_NAME;
    SERVICE_TABLE_ENTRYA table[] = {{name, service_main}, {nullptr, nullptr}};
    if (!StartServiceCtrlDispatcherA(table)) {
        DWORD e = GetLastError();
        svc_log_close();
        if (e == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return usage();
        return 1;
    }
    svc_event_close();
    svc_log_close();
    return 0;
}
