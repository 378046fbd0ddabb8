#include "cnet.h"
#include "log.h"
#include "strutil.h"
#include <windows.h>
#include <winnetwk.h>
// The platform header maps this name to its own ANSI function.
#undef WNetAddConnection

CNet::CNet(FILE* log) : mlogfile(log)
{
    mdrive[0] = 0;
    log_line(mlogfile, "CNet::CNet () OK ...\n");
}

CNet::~CNet()
{
    if (mdrive[0]) WNetDelConnection();
    log_line(mlogfile, "CNet::~CNet () OK ...\n");
}

int CNet::WNetAddConnection(const char* remote, const char* local, const char* user, const char* password)
{
    // Whatever share the drive already maps counts as connected. The drive
    // type is asked of the drive's root, the form the platform documents.
    char rname[NX_PATH], lname[4], root[8];
    if (!fmt_str(root, "%s\\", local) && GetDriveTypeA(root) == DRIVE_REMOTE) return 0;
    copy_str(rname, remote);
    copy_str(lname, local);
    NETRESOURCEA nr;
    ZeroMemory(&nr, sizeof nr);
    nr.lpLocalName = lname;
    nr.lpRemoteName = rname;
    DWORD r;
    if (!user || !user[0])
        r = WNetAddConnection2A(&nr, nullptr, nullptr, 0);
    else
        r = WNetAddConnection2A(&nr, password ? password : "", user, 0);
    if (r != NO_ERROR) {
        // The result is the error Windows also leaves as the thread's last
        // error; Wine leaves an unrelated one (234) there.
        log_line(mlogfile, "CNet::WNetAddConnection (%s) failed: %d\n", local, (int)r);
        return 1;
    }
    copy_str(mdrive, local);
    log_line(mlogfile, "CNet::WNetAddConnection (%s) OK ...\n", local);
    return 0;
}

void CNet::WNetDelConnection()
{
    DWORD r = WNetCancelConnection2A(mdrive, CONNECT_UPDATE_PROFILE, TRUE);
    if (r != NO_ERROR)
        log_line(mlogfile, "CNet::WNetDelConnection (%s) failed: %d\n", mdrive, (int)r);
    else
        log_line(mlogfile, "CNet::WNetDelConnection (%s) OK ...\n", mdrive);
}
