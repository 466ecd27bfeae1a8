#include "app/PortMapDlg.h"

#include <ctime>

#include "app/ActivityLog.h"
#include "app/ApplyRule.h"
#include "app/FailureText.h"
#include "app/PortMappingRule.h"
#include "app/Profile.h"
#include "net/AddressScope.h"
#include "text/Text.h"

int CPortMapDlg::s_periodicTicks = 0;

CPortMapDlg::CPortMapDlg(IPortMapWindow& window, Profile* profile)
    : m_now([] { return static_cast<std::int64_t>(std::time(nullptr)); }),
      window_(window),
      profile_(profile) {}

CPortMapDlg::~CPortMapDlg() = default;

void CPortMapDlg::ReadControls() {
    m_ruleText = window_.GetRuleText();
    m_autoUpdate = window_.GetAutoUpdate() ? 1 : 0;
    m_autoMinimize = window_.GetAutoMinimize() ? 1 : 0;
}

void CPortMapDlg::WriteControls() {
    window_.SetRuleText(m_ruleText);
    window_.SetAutoUpdate(m_autoUpdate != 0);
    window_.SetAutoMinimize(m_autoMinimize != 0);
}

void CPortMapDlg::OnInitDialog() {
    if (profile_ != nullptr) {
        m_ruleText = RuleTextFromStored(
            profile_->GetString(settings::kSection, settings::kRuleText, std::string()));
        m_autoUpdate = profile_->GetInt(settings::kSection, settings::kAutoUpdate, 0);
        m_autoMinimize = profile_->GetInt(settings::kSection, settings::kAutoMinimize, 0);
    }
    WriteControls();
    window_.AddTrayIcon();
    m_firstTickDone = 0;
}

void CPortMapDlg::OnDestroy() {
    ReadControls();
    if (profile_ != nullptr) {
        profile_->WriteInt(settings::kSection, settings::kAutoUpdate, m_autoUpdate);
        profile_->WriteInt(settings::kSection, settings::kAutoMinimize, m_autoMinimize);
    }
    window_.RemoveTrayIcon();
}

void CPortMapDlg::AppendLog(const std::string& message) {
    const std::string text = activity_log::LoggedText(message);
    window_.AppendLog(text);
    const int drop = logBudget_.Append(text);
    if (drop > 0) {
        window_.DropOldestLogLines(drop);
    }
}

void CPortMapDlg::RunCycle() {
    ReadControls();
    std::string working = RuleWorkingText(m_ruleText);
    // The text is stored at every run, before discovery and whatever it finds;
    // the field keeps the stored form until the controls are read again.
    m_ruleText = RuleTextToStored(m_ruleText);
    if (profile_ != nullptr &&
        !profile_->WriteString(settings::kSection, settings::kRuleText, m_ruleText)) {
        AppendLog(activity_log::kSaveFailed);
    }

    ++m_runCount;
    m_lastRun = RunSummary();
    CRouterDevice gateway;
    std::string location;
    IpAddress address;
    gateway.onPassedOver = m_onPassedOver;
    if (gateway.Discover(address, location, m_discoveryTargets) != 0) {
        AppendLog(activity_log::kNotFound);
        if (m_onNotFound) {
            m_onNotFound(gateway.LastFailure());
        }
        AppendLog(activity_log::kRunEnd);
        return;
    }
    m_lastRun.gatewayFound = true;
    AppendLog(activity_log::kFound);
    AppendLog(activity_log::GatewayText(address.ToText(), location));

    std::string line;
    PortMappingRule rule;
    bool externalAsked = false;
    bool externalKnown = false;
    std::string externalAddress;
    while (text::CutLine(working, line)) {
        if (!ParseRuleLine(line, &rule)) {
            break;
        }
        AppendLog(activity_log::RuleStartText(rule.externalPort, rule.internalPort, rule.protocol));
        ++m_lastRun.rulesApplied;
        const RuleResult result = ApplyRule(gateway, rule, &m_madeMappings);
        if (result.Mapped()) {
            AppendLog(activity_log::kSuccess);
            if (result.kind == RuleResult::Kind::kAlreadyThere) {
                AppendLog(activity_log::AlreadyThereText(result.holder.description));
            } else if (result.kind == RuleResult::Kind::kMovedFromOldAddress) {
                AppendLog(activity_log::MovedFromOldAddressText(result.holder.internalClient));
            }
            // Asked once a mapping stands, so that the answer comes from the
            // service that holds it; one question per run.
            if (!externalAsked) {
                externalAsked = true;
                externalKnown = gateway.GetExternalIPAddress(&externalAddress) == 0;
            }
        } else {
            ++m_lastRun.rulesFailed;
            AppendLog(activity_log::kFailure);
            AppendLog(activity_log::ReasonText(DescribeRuleFailure(result, rule)));
            if (m_onRuleFailure) {
                m_onRuleFailure(result.failure);
            }
        }
    }
    if (externalKnown) {
        AppendLog(activity_log::ExternalAddressText(externalAddress));
        if (!IsPublicIPv4(externalAddress)) {
            AppendLog(activity_log::NotPublicText(externalAddress));
        }
    }
    AppendLog(activity_log::kRunEnd);
}

void CPortMapDlg::RunPeriodic() {
    AppendLog(activity_log::FormatLocalTime(m_now(), activity_log::kTimeStampPattern));
    AppendLog(activity_log::kAutoRun);
    RunCycle();
}

void CPortMapDlg::OnTimer() {
    ReadControls();
    if (m_firstTickDone == 0) {
        if (m_autoMinimize != 0) {
            window_.HideWindow();
            window_.MinimizeWindow();
        }
        RunCycle();
    }
    const int autoUpdate = m_autoUpdate;
    m_firstTickDone = 1;
    if (autoUpdate != 0) {
        ++s_periodicTicks;
        if (s_periodicTicks > m_periodicRunTicks) {
            RunPeriodic();
            s_periodicTicks = 0;
        }
    }
}
