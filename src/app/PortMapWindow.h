// What the window's logic needs from a window. Each front end (Qt, Win32,
// the tests' fake) implements it; the logic lives in WindowController.
#pragma once

#include <string>

class IPortMapWindow {
public:
    virtual ~IPortMapWindow() = default;

    // The rule box, with CR LF line ends whatever the toolkit uses.
    virtual std::string GetRuleText() = 0;
    virtual void SetRuleText(const std::string& crlfText) = 0;

    // Check boxes 1003 "定期的に更新" and 1004 "自動的に最小化".
    virtual bool GetAutoUpdate() = 0;
    virtual void SetAutoUpdate(bool on) = 0;
    virtual bool GetAutoMinimize() = 0;
    virtual void SetAutoMinimize(bool on) = 0;
    // The checked state of the menu entry "IPv6でも開く"; the setting itself
    // is WindowController's, which the entry tells when it is chosen.
    virtual void SetOpenIpv6(bool on) = 0;

    // Adds CR LF text at the end of the log box. The view then shows what it
    // would after the whole text was set (view at the top) and scrolled down
    // kLogViewLine lines (EM_LINESCROLL): that line at the top, or the end of
    // a shorter log.
    virtual void AppendLog(const std::string& crlfText) = 0;
    static constexpr int kLogViewLine = 10000;
    // Removes the log's `lines` oldest lines (CR LF ended), keeping the view
    // as AppendLog leaves it. A window that keeps no log needs nothing here.
    virtual void DropOldestLogLines(int lines) { (void)lines; }

    // Minimising at start: hide, then minimise (where a tray icon exists the
    // window ends hidden; without one it stays in the task bar).
    virtual void HideWindow() = 0;
    virtual void MinimizeWindow() = 0;

    virtual void AddTrayIcon() = 0;
    virtual void RemoveTrayIcon() = 0;
};
