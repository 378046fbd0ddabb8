// View operations that fill and edit the list model.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <stdio.h>
#include "model.h"

int Clear(int flag);
void OnGetDispInfo(NMLVDISPINFOA* info);
bool CompareRows(int a, int b);
int OnSort();
// OnSort by ascending install order (Order by number).
int OnSortByOrder();

int ReadINI();
// 0 when the list was written (or no package view is shown, which leaves
// the file alone); 1 when the file could not be opened or written: that was
// logged and shown, and the console should stay open.
int OnSave();
int WriteSection(int r, FILE* f);
int ReadREG();
int ReadCSV(int index);
int OnCheck();
int OnMove(int flag);
int OnDelete();
int OnEdit(int flag);
int OnConf();
int EditConf();  // OnEdit with flag 1

class CEditDlg {
public:
    char field[10][260] = {};
    CEditDlg();
    INT_PTR run(HINSTANCE inst, HWND owner, int dialog);
};
extern CEditDlg mdlg;
INT_PTR CALLBACK EditDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Whether the settings may be written; tests replace it to take the
// no-rights path (Wine always answers yes).
extern int (*mis_admin)();
