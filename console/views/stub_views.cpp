// Placeholders until the views land; each is removed as it is built.
#include "views.h"
#include "shell.h"

std::vector<std::string> mcols[NCOLS];
std::vector<int> mrows;
std::vector<int> mimages;
int mpkgview;
CEditDlg mdlg;
int (*mis_admin)() = nullptr;
CEditDlg::CEditDlg() {}
INT_PTR CEditDlg::run(HINSTANCE, HWND, int) { return 0; }
INT_PTR CALLBACK EditDlgProc(HWND, UINT, WPARAM, LPARAM) { return 0; }
int Clear(int) { return 0; }
void OnGetDispInfo(NMLVDISPINFOA*) {}
bool CompareRows(int, int) { return false; }
int OnSort() { return 0; }
int ReadINI() { return 0; }
int OnSave() { return 0; }
int WriteSection(int, FILE*) { return 0; }
int ReadREG() { return 0; }
int ReadCSV(int) { return 0; }
int OnCheck() { return 0; }
int OnMove(int) { return 0; }
int OnDelete() { return 0; }
int OnEdit(int) { return 0; }
int OnConf() { return 0; }
