// View operations that fill and edit the list model.
#pragma once
#include <windows.h>
#include "ncfg.h"  // NX_PATH
#include <commctrl.h>
#include <stdio.h>
#include "model.h"
#include "service_contract.h"

// What Clear leaves: no columns and no view, or the package view's columns.
enum ClearTo { CLEAR_EMPTY = 0, CLEAR_PACKAGES = 1 };
// Which way OnMove takes the selected row in the install order.
enum MoveWay { MOVE_LATER = 0, MOVE_EARLIER = 1 };
// What OnEdit opens: the selected package row, or all the settings.
enum EditWhat { EDIT_PACKAGE = 0, EDIT_SETTINGS = 1 };

void Clear(ClearTo to);
void OnGetDispInfo(NMLVDISPINFOA* info);
void OnSort();
// OnSort by ascending install order (Order by number).
void OnSortByOrder();

void ReadINI();
// 0 when the list was written (or no package view is shown, which leaves
// the file alone); 1 when the file could not be opened or written: that was
// logged and shown, and the console should stay open.
int OnSave();
void WriteSection(int r, FILE* f);
void ReadREG();
// The inventory files' tree nodes mcsv[0..9] are numbered from here on, after
// the root, "Packages" and "Inventory": the number ReadCSV logs.
const int CSV_FIRST_NODE = 3;
// Shows the inventory file of node number index (CSV_FIRST_NODE + i).
void ReadCSV(int index);

// The Devices view (devices.cpp). LoadDevices starts the loader thread
// (show: put up the view's columns first); OnDevicesDone takes its result.
// The fleet report is written to FLEET_REPORT_FILE in the data folder and
// opened like the assignment report.
#define WM_NX_DEVICESDONE (WM_APP + 2)
#define FLEET_REPORT_FILE "nxfleet.htm"
struct Fleet;
extern Fleet mfleet;
void LoadDevices(bool show);
LRESULT OnDevicesDone(LPARAM lp);
void FleetReport();
void OpenDevice(int p);  // the display row p of the Devices view
void ShowDevice();       // the device OpenDevice named, read only
void DevicesDispInfo(NMLVDISPINFOA* info);
void AddDevicesNode();  // "Devices" in the tree, once, in admin mode
// Reads the status files of folder into out; the listing's error, 0 when
// the folder was read through (or holds none).
unsigned long load_fleet(const char* folder, long today, Fleet& out);
void OnCheck();
void OnMove(MoveWay way);
void OnDelete();
void OnEdit(EditWhat what);
void OnConf();
void EditConf();  // OnEdit(EDIT_SETTINGS)

class CEditDlg {
public:
    char field[SVC_SETTINGS][NX_PATH] = {};  // the configuration dialog's are the most
    bool locked[SVC_SETTINGS] = {};       // shown read-only (set by Group Policy)
    INT_PTR run(HINSTANCE inst, HWND owner, int dialog);
};
extern CEditDlg mdlg;
INT_PTR CALLBACK EditDlgProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Whether the settings may be written; tests replace it to take the
// no-rights path (Wine always answers yes).
extern int (*mis_admin)();
