// The main window as a terminal sees it: the log goes to standard output as
// it is appended (LF line ends), the rule text is whatever the command line
// gave, and there is nothing to hide, minimise or put in a tray.
#pragma once

#include <cstdio>
#include <string>

#include "app/PortMapWindow.h"

class TerminalWindow : public IPortMapWindow {
public:
    // `out` may be null: the log then goes nowhere.
    TerminalWindow(std::string crlfRules, std::FILE* out)
        : rules_(std::move(crlfRules)), out_(out) {}

    std::string GetRuleText() override { return rules_; }
    void SetRuleText(const std::string& crlfText) override { rules_ = crlfText; }
    bool GetAutoUpdate() override { return false; }
    void SetAutoUpdate(bool) override {}
    bool GetAutoMinimize() override { return false; }
    void SetAutoMinimize(bool) override {}

    // Printed at once with LF line ends; nothing is kept, so that a long
    // --watch needs no memory for its past.
    void AppendLog(const std::string& crlfText) override;

    void HideWindow() override {}
    void MinimizeWindow() override {}
    void AddTrayIcon() override {}
    void RemoveTrayIcon() override {}

    // Prints a line of its own (LF added), e.g. a failure reason.
    void PrintLine(const std::string& line);

private:
    std::string rules_;
    std::FILE* out_;
};
