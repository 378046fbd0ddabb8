#include "shell.h"
#include "log.h"
#include "scoped.h"
#include "strutil.h"

FILE* mlog = nullptr;
// Owns what mlog lends to every writer.
static ScopedFile mlogfile;

void OpenLog()
{
    DWORD v = GetVersion();
    int major = (int)(v & 0xff), minor = (int)((v >> 8) & 0xff);
    CloseLog();
    char temp[32768];
    DWORD n = GetEnvironmentVariableA("TEMP", temp, sizeof temp);
    if (n > 0 && n < sizeof temp) {
        char path[NX_PATH];
        // A TEMP too long for the path buffer gets no log rather than a
        // log somewhere the cut path happens to point.
        if (fmt_str(path, "%s\\nxwin.log", temp) == 0) mlogfile.reset(fopen(path, "wt"));
    }
    mlog = mlogfile.get();
    if (!mlog) return;
    fprintf(mlog, "Logfile created by nxwin.exe:\n");
    fprintf(mlog, "Windows Version: %d.%d\n\n", major, minor);
    fflush(mlog);
}

void CloseLog()
{
    mlog = nullptr;
    mlogfile.reset();
}
