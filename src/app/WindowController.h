// What belongs to the window alone, for every front end: the settings, the
// 100 ms timer with the first run after opening and the periodic runs, and
// the log pane. The runs themselves are PortSession's; the log lines are
// LogWriter's. A front end owns the real window, implements IPortMapWindow
// and forwards its events here.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/ActivityLog.h"
#include "app/LogWriter.h"
#include "app/PortMapWindow.h"
#include "app/PortSession.h"
#include "app/SessionEvents.h"

class Profile;

class WindowController {
public:
    // `profile` may be null (nothing is loaded or saved).
    WindowController(IPortMapWindow& window, Profile* profile);

    void Start();       // the window exists: settings into the controls, tray icon
    void Open();        // "Open": stores the rule text, then opens the rules' ports
    void CloseRules();  // "ポートを閉じる"
    void CloseAll();    // "開いたポートをすべて閉じる": everything the record holds
    void List();        // "現在の設定を表示"
    void Tick();        // every 100 ms
    void Finish();      // the window closes: saves the options, removes the tray icon

    // "IPv6でも開く": whether each rule also gets an IPv6 pinhole. Setting it
    // (the menu entry toggled) shows it in the window and saves it; every
    // run after that takes it.
    bool OpenIpv6() const { return openIpv6_; }
    void SetOpenIpv6(bool on);

    // "ログイン時に起動": whether the desktop session starts this program at
    // login. Read from the system each time, never from the profile, so that
    // an entry removed elsewhere shows unticked. Setting it writes or removes
    // the entry; the log says so when the system did not take it.
    bool StartAtLogin() const;
    void SetStartAtLogin(bool on);
    // The program the entry starts (tests name one of their own).
    void SetLoginProgram(std::string program) { loginProgram_ = std::move(program); }

    // This start was made by the session at login (--autostart): the first
    // tick hides the window whatever "自動的に最小化" says.
    bool StartedAtLogin() const { return startedAtLogin_; }
    void SetStartedAtLogin(bool on) { startedAtLogin_ = on; }

    // False when ticks would change nothing until "定期的に更新" is ticked
    // again: the first tick is done and the box was clear at the last tick.
    // A front end may then pause its timer (and resume it when the box is
    // ticked) so that an idle window costs no wake-ups.
    bool TimerNeeded() const { return !firstTickDone_ || autoUpdate_; }

    // A periodic run: its announcement, then Open. Tick calls it after
    // enough ticks.
    void RunPeriodic();

    // Appends to the log pane, which scrolls as the window's AppendLog says
    // and keeps at most activity_log::kMaxLogBytes.
    void AppendLog(const std::string& message);

    // Another receiver of every event, after the log.
    void Listen(session::Receiver receiver) { receivers_.Add(std::move(receiver)); }

    PortSession& Session() { return session_; }

    static constexpr int kPeriodicRunTicks = 6000;  // a periodic run on the tick after this many
    // Ticks counted towards the next periodic run.
    int PeriodicTicks() const { return periodicTicks_; }
    // Tests shorten the period.
    void SetPeriodicRunTicks(int ticks) { periodicRunTicks_ = ticks; }
    // The clock of the periodic run's announcement (seconds since 1970).
    void SetClock(std::function<std::int64_t()> now) { now_ = std::move(now); }

private:
    // The rule text of the box, stored in the profile as every run does.
    std::string TakeRuleText();
    // The session with the window's settings, for the run about to start.
    PortSession& SessionForRun();

    IPortMapWindow& window_;
    Profile* profile_;
    activity_log::LogLineBudget logBudget_;
    session::Fanout receivers_;
    PortSession session_;
    std::function<std::int64_t()> now_;
    bool autoUpdate_ = false;  // the box, as last read
    bool openIpv6_ = true;
    std::string loginProgram_;
    bool startedAtLogin_ = false;
    bool firstTickDone_ = false;
    int periodicTicks_ = 0;
    int periodicRunTicks_ = kPeriodicRunTicks;
};
