// Resource ids of Pontaro.exe, shared by Pontaro.rc and the Win32 window code.
#pragma once

#define IDM_ABOUTBOX 0x0010      // system-menu command of the version box
#define IDM_CLOSEPORTS 0x0020    // system-menu command: close the box's rules
#define IDM_SHOWMAPPINGS 0x0030  // system-menu command: list the router's table
#define IDM_OPENIPV6 0x0040      // system-menu switch "open over IPv6 too", checked when on
#define IDM_CLOSEALL 0x0050      // system-menu command: close everything recorded
#define IDM_AUTOSTART 0x0060     // system-menu switch "start at login", checked when on
#define IDD_ABOUTBOX 100         // the version box
#define IDD_PONTARO_DIALOG 102
// (The menu entries' texts, once string resources 101 and 103 to 107, are the
// catalog's now.)
#define IDR_MAINFRAME 128  // the application icon (nine images)
#define IDI_TRAY 130       // the notification-area icon, 16 by 16

#define IDC_LOG 1000
#define IDC_RULES 1002
#define IDC_AUTO_UPDATE 1003
#define IDC_AUTO_MINIMIZE 1004
#define IDC_EXAMPLE 1005       // the example rules above the rule box
#define IDC_ABOUT_NOTICE 1006  // the version box's line under the version

#define IDC_STATIC_TEXT -1
