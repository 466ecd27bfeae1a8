// The main dialog's logic, shared by every front end. A front end owns the
// real window, implements IPortMapWindow, and forwards its events here:
// OnInitDialog once the controls exist, RunCycle for "Open", OnTimer every
// 100 ms, OnDestroy when the window closes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/ActivityLog.h"
#include "app/MadeMappings.h"
#include "app/MappingTable.h"
#include "app/PortMapWindow.h"
#include "upnp/FailureReason.h"
#include "upnp/RouterDevice.h"

class Profile;

class CPortMapDlg {
public:
    // `profile` may be null (nothing is loaded or saved).
    CPortMapDlg(IPortMapWindow& window, Profile* profile);
    virtual ~CPortMapDlg();

    void OnInitDialog();  // loads the settings, writes the controls, adds the tray icon
    void RunCycle();      // one run: "Open", the first tick, periodic runs
    void OnTimer();       // every 100 ms
    // False when ticks would change nothing until "定期的に更新" is ticked
    // again: the first tick is done and the box was clear at the last tick.
    // A front end may then pause its timer (and resume it when the box is
    // ticked) so that an idle window costs no wake-ups.
    bool TimerNeeded() const { return m_firstTickDone == 0 || m_autoUpdate != 0; }
    void OnDestroy();  // saves the options, removes the tray icon

    // "ポートを閉じる": one search, then DeletePortMapping for the external
    // port and protocol of each rule in the box. m_lastRun counts the rules
    // and the failures (a mapping the router did not have is none).
    void CloseCycle();
    // "現在の設定を表示": one search, then the router's table and its outside
    // address into the log; m_lastListing keeps what was found.
    void ListCycle();
    MappingListing m_lastListing;

    // A periodic run: the time stamp, "自動実行します。", then a run. OnTimer
    // calls it after enough ticks; pontaro-cli --watch calls it on its own clock.
    void RunPeriodic();

    // Appends to the log, which scrolls as the window's AppendLog says.
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
    // The count that OnTimer uses; tests shorten the period with it.
    int m_periodicRunTicks = kPeriodicRunTicks;

    // Where each run searches for its gateway. The default searches the real
    // network; tests point it at loopback responders.
    DiscoveryTargets m_discoveryTargets;

    // The clock of the periodic run's time stamp (seconds since 1970); the
    // system clock unless replaced.
    std::function<std::int64_t()> m_now;

    // Called right after the log's not-found line (before the empty line that
    // ends the run) and after each failure's reason line, with the reason the
    // gateway object kept (for a rule: why the router refused the mapping).
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
    int m_runCount = 0;  // runs started; tests count them

    // Every mapping the router accepted from this object's runs; only such a
    // mapping, left for an address this machine no longer has, is ever
    // removed to map the rule again.
    MadeMappings m_madeMappings;

private:
    IPortMapWindow& window_;
    activity_log::LogLineBudget logBudget_;
    Profile* profile_;
};
