#include "app/WindowController.h"

#include <ctime>

#include "app/InstallSecret.h"
#include "app/Profile.h"
#include "platform/LoginEntry.h"

WindowController::WindowController(IPortMapWindow& window, Profile* profile)
    : window_(window),
      profile_(profile),
      session_([this](const session::Event& e) { receivers_(e); }),
      now_([] { return static_cast<std::int64_t>(std::time(nullptr)); }),
      loginProgram_(platform::ThisProgram()) {
    receivers_.Add(LogWriter([this](const std::string& text) { AppendLog(text); }));
    // Through the window's own profile: it rewrites the whole file when it
    // saves, and would drop a secret another Profile object had written.
    if (profile_ != nullptr) {
        session_.secretSource = [this] { return InstallSecret(*profile_); };
        session_.Record().SetPath(OpenedRecord::PathBeside(profile_->Path()));
    }
    // Each run of the rule box first closes what the box no longer holds.
    session_.ruleList = {record::kWindowList, true};
}

void WindowController::Start() {
    std::string rules;
    bool autoMinimize = false;
    if (profile_ != nullptr) {
        rules = RuleTextFromStored(
            profile_->GetString(settings::kSection, settings::kRuleText, std::string()));
        autoUpdate_ = profile_->GetInt(settings::kSection, settings::kAutoUpdate, 0) != 0;
        autoMinimize = profile_->GetInt(settings::kSection, settings::kAutoMinimize, 0) != 0;
        openIpv6_ = profile_->GetSwitch(settings::kSection, settings::kOpenIpv6, true);
    }
    window_.SetRuleText(rules);
    window_.SetAutoUpdate(autoUpdate_);
    window_.SetAutoMinimize(autoMinimize);
    window_.SetOpenIpv6(openIpv6_);
    window_.AddTrayIcon();
    firstTickDone_ = false;
}

void WindowController::Finish() {
    if (profile_ != nullptr) {
        profile_->WriteInt(settings::kSection, settings::kAutoUpdate,
                           window_.GetAutoUpdate() ? 1 : 0);
        profile_->WriteInt(settings::kSection, settings::kAutoMinimize,
                           window_.GetAutoMinimize() ? 1 : 0);
        profile_->WriteInt(settings::kSection, settings::kOpenIpv6, openIpv6_ ? 1 : 0);
    }
    window_.RemoveTrayIcon();
}

void WindowController::SetOpenIpv6(bool on) {
    openIpv6_ = on;
    window_.SetOpenIpv6(on);
    if (profile_ != nullptr &&
        !profile_->WriteInt(settings::kSection, settings::kOpenIpv6, on ? 1 : 0)) {
        receivers_(session::SettingsNotSaved{});
    }
}

bool WindowController::StartAtLogin() const {
    return platform::StartsAtLogin(loginProgram_);
}

void WindowController::SetStartAtLogin(bool on) {
    if (!platform::SetStartAtLogin(loginProgram_, on)) {
        receivers_(session::LoginStartNotChanged{on});
    }
}

void WindowController::AppendLog(const std::string& message) {
    const std::string text = activity_log::LoggedText(message);
    window_.AppendLog(text);
    const int drop = logBudget_.Append(text);
    if (drop > 0) {
        window_.DropOldestLogLines(drop);
    }
}

// The text is stored at every run, before discovery and whatever it finds.
std::string WindowController::TakeRuleText() {
    const std::string rules = window_.GetRuleText();
    if (profile_ != nullptr &&
        !profile_->WriteString(settings::kSection, settings::kRuleText, RuleTextToStored(rules))) {
        receivers_(session::SettingsNotSaved{});
    }
    return rules;
}

PortSession& WindowController::SessionForRun() {
    session_.openIpv6 = openIpv6_;
    return session_;
}

void WindowController::Open() {
    const std::string rules = TakeRuleText();
    SessionForRun().Open(rules);
}

void WindowController::CloseRules() {
    SessionForRun().Close(window_.GetRuleText());
}

void WindowController::CloseAll() {
    SessionForRun().CloseAll();
}

void WindowController::List() {
    SessionForRun().List();
}

void WindowController::RunPeriodic() {
    receivers_(session::PeriodicRun{now_()});
    Open();
}

void WindowController::Tick() {
    if (!firstTickDone_) {
        if (startedAtLogin_ || window_.GetAutoMinimize()) {
            window_.HideWindow();
            window_.MinimizeWindow();
        }
        Open();
    }
    autoUpdate_ = window_.GetAutoUpdate();
    firstTickDone_ = true;
    if (autoUpdate_) {
        ++periodicTicks_;
        if (periodicTicks_ > periodicRunTicks_) {
            RunPeriodic();
            periodicTicks_ = 0;
        }
    }
}
