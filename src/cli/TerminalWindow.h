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

    // The log keeps nothing: what is set has just been appended, and is
    // printed at once, so that a long --watch needs no memory for its past.
    std::string GetLogText() override { return std::string(); }
    void SetLogText(const std::string& crlfText) override;
    void ScrollLogLines(int) override {}

    void HideWindow() override {}
    void MinimizeWindow() override {}
    void AddTrayIcon() override {}
    void RemoveTrayIcon() override {}

    // Prints a line of its own (LF added), e.g. a failure reason. It goes
    // before the empty line that ends a message such as the not-found text,
    // so that the reason stays next to the line it explains.
    void PrintLine(const std::string& line);
    // Prints what is held back; call after a run.
    void Flush();

private:
    std::string rules_;
    std::FILE* out_;
    bool pendingCr_ = false;         // a CR at the end of the last text, maybe half of a CR LF
    bool pendingEmptyLine_ = false;  // the last text ended in an empty line, not yet printed
};
