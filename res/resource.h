// Resource ids of Pontaro.exe, shared by Pontaro.rc and the Win32 window code.
#pragma once

#define IDM_ABOUTBOX 0x0010      // system-menu command of the version box
#define IDM_CLOSEPORTS 0x0020    // system-menu command "ポートを閉じる"
#define IDM_SHOWMAPPINGS 0x0030  // system-menu command "現在の設定を表示"
#define IDM_OPENIPV6 0x0040      // system-menu switch "IPv6でも開く", checked when on
#define IDD_ABOUTBOX 100         // the version box
#define IDS_ABOUTBOX 101         // its system-menu entry
#define IDD_PONTARO_DIALOG 102
#define IDS_CLOSEPORTS 103  // the system-menu entries of the two commands
#define IDS_SHOWMAPPINGS 104
#define IDS_OPENIPV6 105   // the switch's system-menu entry
#define IDR_MAINFRAME 128  // the application icon (nine images)
#define IDI_TRAY 130       // the notification-area icon, 16 by 16

#define IDC_LOG 1000
#define IDC_RULES 1002
#define IDC_AUTO_UPDATE 1003
#define IDC_AUTO_MINIMIZE 1004

#define IDC_STATIC_TEXT -1
