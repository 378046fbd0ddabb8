// The service's log. A service runs for months, so the log is appended
// across runs and bounded: at its size limit it becomes "nxsvc.old" and a
// new one starts.
#include "svc.h"
#include "log.h"
#include "svcrules.h"
#include "safefile.h"
#include "scoped.h"
#include "service_contract.h"
#include <stdarg.h>
#include <stdio.h>

static ScopedFile mlog;
static char mlogpath[NX_PATH];
static char moldpath[NX_PATH];
static char mlogfolder[NX_PATH];
// The worker thread and the control handler both write.
static CRITICAL_SECTION mlock;
static bool mlock_ready;

static bool log_paths(const char* folder)
{
    return !fmt_str(mlogpath, "%s\\%s", folder, SVC_LOG_FILE) && !fmt_str(moldpath, "%s\\%s", folder, SVC_LOG_OLD);
}

void svc_log_open()
{
    if (!mlock_ready) {
        InitializeCriticalSection(&mlock);
        mlock_ready = true;
    }
    if (log_paths(mfolder)) mlog.reset(open_unlinked(mlogpath, "at"));
    copy_str(mlogfolder, mfolder);
    if (!mlog) {
        // Beside the program is not writable: "TEMP", as the library does,
        // where a user may have planted a link (not followed).
        char temp[NX_PATH];
        DWORD n = GetEnvironmentVariableA("TEMP", temp, sizeof temp);
        if (n > 0 && n < sizeof temp && log_paths(temp)) mlog.reset(open_unlinked(mlogpath, "at"));
        if (mlog) copy_str(mlogfolder, temp);
    }
}

const char* svc_log_folder() { return mlogfolder; }

void svc_log_close()
{
    if (!mlock_ready) return;
    EnterCriticalSection(&mlock);
    mlog.reset();
    LeaveCriticalSection(&mlock);
}

void svc_log(const char* fmt, ...)
{
    if (!mlock_ready) return;
    char text[1024];
    va_list ap;
    va_start(ap, fmt);
    int r = vsnprintf(text, sizeof text, fmt, ap);
    va_end(ap);
    if (r < 0) return;
    if ((size_t)r >= sizeof text) text[sizeof text - 2] = '\n';  // cut, but keep the line end
    EnterCriticalSection(&mlock);
    if (mlog) {
        log_line(mlog.get(), "%s", text);
        if (svc_log_full(ftell(mlog.get()))) {
            mlog.reset();
            // The old log goes; a failed move keeps the full log, which is
            // then started again rather than grown further.
            if (!MoveFileExA(mlogpath, moldpath, MOVEFILE_REPLACE_EXISTING)) DeleteFileA(mlogpath);
            mlog.reset(open_unlinked(mlogpath, "at"));
        }
    }
    LeaveCriticalSection(&mlock);
}
