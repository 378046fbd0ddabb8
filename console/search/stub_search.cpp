// Placeholders until the search lands; each is removed as it is built.
#include "search.h"

CDir minvdir;
CDir::~CDir() { clear_list(); }
int CDir::find_file(const char*, const char*, const char*, int) { return 0; }
void CDir::clear_list() { mfound.clear(); mdepth = 0; }
void ConnectShare() {}
int FindCMD() { return 0; }
int OnInfo() { return 0; }
BOOL CALLBACK MinimizeProc(HWND, LPARAM) { return TRUE; }
LRESULT OnSearchDone(LPARAM) { return 0; }
