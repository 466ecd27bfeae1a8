// The one stand-in for a real window: controls held in fields, the log kept
// as text, and everything else done to the window noted in order.
#pragma once

#include <string>
#include <vector>

#include "app/PortMapWindow.h"

class FakeWindow : public IPortMapWindow {
public:
    std::string rules;
    bool autoUpdate = false;
    bool autoMinimize = false;
    bool openIpv6 = false;  // the menu entry's check mark
    std::string log;
    std::vector<std::string> events;  // what happened to the window, in order

    std::string GetRuleText() override { return rules; }
    void SetRuleText(const std::string& t) override {
        rules = t;
        events.push_back("SetRuleText");
    }
    bool GetAutoUpdate() override { return autoUpdate; }
    void SetAutoUpdate(bool on) override { autoUpdate = on; }
    bool GetAutoMinimize() override { return autoMinimize; }
    void SetAutoMinimize(bool on) override { autoMinimize = on; }
    void SetOpenIpv6(bool on) override { openIpv6 = on; }
    void AppendLog(const std::string& t) override {
        log += t;
        events.push_back("AppendLog " + std::to_string(t.size()));
    }
    void HideWindow() override { events.push_back("Hide"); }
    void MinimizeWindow() override { events.push_back("Minimize"); }
    void AddTrayIcon() override { events.push_back("AddTray"); }
    void RemoveTrayIcon() override { events.push_back("RemoveTray"); }
};
