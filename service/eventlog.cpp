// The service's events in the Application log, for operators and their
// monitoring: source SVC_NAME, texts from the message table built into
// nxsvc.exe (svcmsg.mc). Writing one never stops a task: an event that
// cannot be written (no source, a full log) costs one log line per run.
#include "svc.h"
#include "service_contract.h"
#include "svcmsg.h"
#include <stdio.h>

static HANDLE msource;
static bool mfailed_once;

#define SVC_EVENT_KEY "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\" SVC_NAME

void svc_event_open()
{
    if (!msource) msource = RegisterEventSourceA(nullptr, SVC_NAME);
}

void svc_event_close()
{
    if (msource) DeregisterEventSource(msource);
    msource = nullptr;
}

void svc_event(DWORD id, const char* s1, const char* s2)
{
    // The severity is the message id's top two bits, as the message
    // compiler gives it.
    DWORD severity = id >> 30;
    WORD type = severity == 3 ? EVENTLOG_ERROR_TYPE : severity == 2 ? EVENTLOG_WARNING_TYPE : EVENTLOG_INFORMATION_TYPE;
    const char* strings[2] = {s1 ? s1 : "", s2 ? s2 : ""};
    WORD count = s2 ? 2 : s1 ? 1 : 0;
    if (msource && ReportEventA(msource, type, 0, id, nullptr, count, 0, strings, nullptr)) return;
    if (mfailed_once) return;
    mfailed_once = true;
    svc_log("ReportEvent (%lu) failed: %lu\n", id & 0xFFFF, msource ? GetLastError() : (DWORD)ERROR_INVALID_HANDLE);
}

bool svc_event_register(const char* exe)
{
    HKEY key;
    LONG r = RegCreateKeyExA(HKEY_LOCAL_MACHINE, SVC_EVENT_KEY, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    if (r != ERROR_SUCCESS) {
        printf("RegCreateKeyEx (HKLM\\%s) failed: %ld\n", SVC_EVENT_KEY, r);
        return false;
    }
    DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    r = RegSetValueExA(key, "EventMessageFile", 0, REG_EXPAND_SZ, (const BYTE*)exe, (DWORD)strlen(exe) + 1);
    if (r == ERROR_SUCCESS) r = RegSetValueExA(key, "TypesSupported", 0, REG_DWORD, (const BYTE*)&types, sizeof types);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS) printf("RegSetValueEx (HKLM\\%s) failed: %ld\n", SVC_EVENT_KEY, r);
    return r == ERROR_SUCCESS;
}

void svc_event_unregister()
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, SVC_EVENT_KEY);
}
