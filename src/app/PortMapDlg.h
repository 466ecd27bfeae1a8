// The main dialog's logic, shared by every front end. A front end owns the
// real window, implements IPortMapWindow, and forwards its events here:
// OnInitDialog once the controls exist, OnOpen for "Open", OnTimer every
// 100 ms, OnDestroy when the window closes.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/PortMapWindow.h"
#include "upnp/FailureReason.h"
#include "upnp/RouterDevice.h"

class Profile;
class CRouterDevice;

class CPortMapDlg {
public:
    // `profile` may be null (nothing is loaded or saved).
    CPortMapDlg(IPortMapWindow& window, Profile* profile);
    virtual ~CPortMapDlg();

    void OnInitDialog();  // loads the settings, writes the controls, adds the tray icon
    void OnOpen() { RunCycle(); }
    void RunCycle();  // one run: "Open", the first tick, periodic runs
    void OnTimer();   // every 100 ms
    // False when ticks would change nothing until "定期的に更新" is ticked
    // again: the first tick is done and the box was clear at the last tick.
    // A front end may then pause its timer (and resume it when the box is
    // ticked) so that an idle window costs no wake-ups.
    bool TimerNeeded() const { return m_firstTickDone == 0 || m_autoUpdate != 0; }
    void OnDestroy();  // saves the options, removes the tray icon

    // A periodic run: the time stamp, "自動実行します。", then a run. OnTimer
    // calls it after enough ticks; pontaro-cli --watch calls it on its own clock.
    void RunPeriodic();

    // Appends to the log and scrolls it to the end.
    void AppendLog(const std::string& message);

    // Data exchange between the controls and the fields.
    void ReadControls();
    void WriteControls();

    // Fields, as the controls were last read.
    std::string m_ruleText;
    int m_autoUpdate = 0;
    int m_autoMinimize = 0;
    int m_firstTickDone = 0;

    // Timer ticks counted towards the next periodic run; one count for the
    // whole process, as there is one window.
    static int s_periodicTicks;
    static constexpr int kPeriodicRunTicks = 6000;  // a periodic run on the tick after this many

    // Where each run searches for its gateway. The default searches the real
    // network; tests point it at loopback responders.
    DiscoveryTargets m_discoveryTargets;

    // The clock of the periodic run's time stamp (seconds since 1970); the
    // system clock unless replaced.
    std::function<std::int64_t()> m_now;

    // Called right after the log's not-found text and after each failure text,
    // with the reason the gateway object kept. The window's log is unchanged.
    std::function<void(const FailureReason&)> m_onNotFound;
    std::function<void(const FailureReason&)> m_onRuleFailure;
    // Called during discovery for each answering device that was passed over
    // (its description location and why).
    std::function<void(const std::string&, const FailureReason&)> m_onPassedOver;

    // What the last run did, for callers that report it (exit codes).
    struct RunSummary {
        bool gatewayFound = false;
        int rulesApplied = 0;
        int rulesFailed = 0;
    };
    RunSummary m_lastRun;
    int m_runCount = 0;

private:
    IPortMapWindow& window_;
    Profile* profile_;
};
