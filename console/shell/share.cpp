// The console's connection to the package share.
#include "shell.h"

void ConnectShare()
{
    if (mncfg.conn == 1) return;
    if (!mncfg.uncp[0] || !mncfg.ndrv[0]) return;
    if (mnet.WNetAddConnection(mncfg.uncp, mncfg.ndrv, mncfg.user, mncfg.pswd) == 0)
        mncfg.conn = 1;
    else
        mncfg.fail = 1;  // kept until the settings are edited
}
