// Resource and command ids of nxwin. The numbers are fixed: stored
// menus, accelerators and the service's expectations rely on them.
#pragma once

// Version: NX_VERSION_TEXT, NX_FILEVERSION
#include "version.h"

// The main window's title (the views add " - <list>"), and the help file
// beside the program.
#define NX_CONSOLE_TITLE     "NXSvc Console"
#define NX_HELP_FILE         "nxwin.chm"

// Menus and accelerators
#define IDM_MAIN             106
#define IDA_MAIN             100

// Commands
#define CMD_HELP             107
#define CMD_INFO             108
#define CMD_ADMIN            200
#define CMD_SHOWREPORT       201
#define CMD_FIND             202
#define CMD_EARLIER          203
#define CMD_LATER            204
#define CMD_OPENLIST         205
#define CMD_SAVE             206
#define CMD_ENTER            208
#define CMD_FLEETREPORT      209
#define CMD_RESTART          210    // on the menu bar while a restart is required
#define CMD_EXIT             260

// Dialogs
#define IDD_INFO             102
#define IDD_CONFIG           103
#define IDD_EDIT             104

// Controls
#define IDC_TOOLBAR          110
#define IDC_VIEW             111    // tree and list share this id
#define IDC_LABEL0           220    // static labels 220..232
#define IDC_EDIT0            240    // edit fields 240..252

// Bitmaps, icon, cursor, strings
#define IDB_TOOLBAR          100
#define IDB_IMAGES           105
#define IDI_MAIN             101
// Not IDC_HAND: <winuser.h> uses that name for the system hand.
#define IDCUR_HAND           100
#define IDS_VERSION          100

// Timer
#define TIMER_ID             250

#ifndef IDC_STATIC
#define IDC_STATIC           (-1)
#endif
