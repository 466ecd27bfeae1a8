// The main window (dialog 102) on Windows: the controls, the system menu
// with the version box, the icon while iconic and the notification-area
// icon. What a run does, the settings and the log texts belong to
// WindowController, which drives this window through IPortMapWindow.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>

#include "app/PortMapWindow.h"
#include "app/WindowController.h"
#include "ui/win32/DialogBase.h"

class Profile;

namespace win32ui {

// The notification-area icon's callback message (WM_APP + 999).
inline constexpr UINT WM_TRAYNOTIFY = 0x83E7;
inline constexpr UINT_PTR kTimerId = 128;
inline constexpr UINT kTimerPeriodMs = 100;

class CMainDialog : public CDialogBase, public IPortMapWindow {
public:
    // `startedAtLogin`: --autostart, the window goes to the notification area.
    CMainDialog(HINSTANCE instance, Profile* profile, bool startedAtLogin);
    ~CMainDialog() override;

    // IPortMapWindow
    std::string GetRuleText() override;
    void SetRuleText(const std::string& crlfText) override;
    bool GetAutoUpdate() override;
    void SetAutoUpdate(bool on) override;
    bool GetAutoMinimize() override;
    void SetAutoMinimize(bool on) override;
    void SetOpenIpv6(bool on) override;
    void AppendLog(const std::string& crlfText) override;
    void DropOldestLogLines(int lines) override;
    void HideWindow() override;
    void MinimizeWindow() override;
    void AddTrayIcon() override;
    void RemoveTrayIcon() override;

protected:
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void ShowLogViewLine();  // the view AppendLog promises
    BOOL OnInitDialog();
    bool OnSysCommand(WPARAM command);
    bool OnPaint();
    void OnSize(WPARAM type);
    void OnTrayNotify(LPARAM mouseMessage);
    void ShowAgain();  // a press on the icon, or a later start asking
    void OnDestroy();

    WindowController logic_;
    HICON m_hIcon;                   // group 128 at the large size (shared, not destroyed)
    HICON smallIcon_ = nullptr;      // group 128 at the small size
    HICON trayIconImage_ = nullptr;  // group 130 at the small size
    NOTIFYICONDATAW m_trayIcon{};
    UINT m_taskbarCreatedMsg = 0;
};

// The program's name as the tip shows it: the executable's base name
// without its extension.
std::wstring ApplicationName();

}  // namespace win32ui
