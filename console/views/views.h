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

// The Devices view (devices.cpp). LoadDevices starts the loader thread
// (show: put up the view's columns first); OnDevicesDone takes its result.
// The fleet report is written to FLEET_REPORT_FILE in the data folder and
// opened like the assignment report.
#define WM_NX_DEVICESDONE (WM_APP + 2)
#define FLEET_REPORT_FILE "nxfleet.htm"
struct Fleet;
extern Fleet mfleet;
int LoadDevices(bool show);
LRESULT OnDevicesDone(LPARAM lp);
int FleetReport();
int OpenDevice(int p);  // the display row p of the Devices view
int ShowDevice();       // the device OpenDevice named, read only
void DevicesDispInfo(NMLVDISPINFOA* info);
void AddDevicesNode();  // "Devices" in the tree, once, in admin mode
// Reads the status files of folder into out; the listing's error, 0 when
// the folder was read through (or holds none).
unsigned long load_fleet(const char* folder, long today, Fleet& out);
int OnCheck();
int OnMove(int flag);
int OnDelete();
int OnEdit(int flag);
int OnConf();
int EditConf();  // OnEdit with flag 1

class CEditDlg {
public:
    char field[16][260] = {};  // as many as the settings, with room to grow
    INT_PTR run(HINSTANCE inst, HWND owner, int dialog);
};
extern CEditDlg mdlg;
INT_PTR CALLBACK EditDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Whether the settings may be written; tests replace it to take the
// no-rights path (Wine always answers yes).
extern int (*mis_admin)();
