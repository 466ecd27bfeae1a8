// The two runs beside "Open": closing the rules' ports and showing the
// router's table. Both search once, like a run, and then write to the log.

#include <algorithm>

#include "app/ActivityLog.h"
#include "app/FailureText.h"
#include "app/PortMapDlg.h"
#include "app/PortMappingRule.h"
#include "text/Text.h"
#include "upnp/Soap.h"

namespace {

// The search every run starts with, and its lines in the log. False when
// no router answered (the run ends there).
bool FindGateway(CPortMapDlg& dlg, CRouterDevice& gateway, MappingListing* found) {
    std::string location;
    IpAddress address;
    gateway.onPassedOver = dlg.m_onPassedOver;
    if (gateway.Discover(address, location, dlg.m_discoveryTargets) != 0) {
        dlg.AppendLog(activity_log::kNotFound);
        if (dlg.m_onNotFound) {
            dlg.m_onNotFound(gateway.LastFailure());
        }
        dlg.AppendLog(activity_log::kRunEnd);
        return false;
    }
    dlg.AppendLog(activity_log::kFound);
    dlg.AppendLog(activity_log::GatewayText(address.ToText(), location));
    found->gatewayFound = true;
    found->gatewayAddress = address.ToText();
    found->location = location;
    return true;
}

// The router's outside address; empty when it does not say.
std::string ExternalAddress(CRouterDevice& gateway) {
    std::string address;
    if (gateway.controlUrl.empty() || gateway.GetExternalIPAddress(&address) != 0) {
        return std::string();
    }
    return OneLineText(address);
}

// Whether the router says it has no mapping of this port and protocol. Asked
// before deleting because some routers (miniupnpd with nftables) answer a
// delete of a mapping they do not have with success.
bool MappingAbsent(CRouterDevice& gateway, int externalPort, const std::string& protocol) {
    PortMappingEntry holder;
    return gateway.GetSpecificPortMappingEntry(externalPort, protocol, &holder) != 0 &&
           gateway.LastFailure().upnpErrorCode == "714";
}

}  // namespace

void CPortMapDlg::CloseCycle() {
    ReadControls();
    std::string working = RuleWorkingText(m_ruleText);
    ++m_runCount;
    m_lastRun = RunSummary();
    CRouterDevice gateway;
    MappingListing found;
    if (!FindGateway(*this, gateway, &found)) {
        return;
    }
    m_lastRun.gatewayFound = true;
    std::string line;
    PortMappingRule rule;
    while (text::CutLine(working, line)) {
        if (!ParseRuleLine(line, &rule)) {
            break;
        }
        AppendLog(activity_log::CloseStartText(rule.externalPort, rule.protocol));
        ++m_lastRun.rulesApplied;
        // The service is read once for the whole command.
        const bool haveService = !gateway.controlUrl.empty() || gateway.ReadService() == 0;
        if (haveService && MappingAbsent(gateway, rule.ExternalPortNumber(), rule.protocol)) {
            AppendLog(activity_log::kNothingToClose);
            m_madeMappings.Forget(rule.ExternalPortNumber(), rule.protocol);
        } else if (haveService &&
                   gateway.DeletePortMapping(rule.ExternalPortNumber(), rule.protocol) == 0) {
            AppendLog(activity_log::kClosed);
            m_madeMappings.Forget(rule.ExternalPortNumber(), rule.protocol);
        } else if (haveService && gateway.LastFailure().upnpErrorCode == "714") {
            // NoSuchEntryInArray: the port is closed, which is what was asked.
            AppendLog(activity_log::kNothingToClose);
            m_madeMappings.Forget(rule.ExternalPortNumber(), rule.protocol);
        } else {
            ++m_lastRun.rulesFailed;
            AppendLog(activity_log::kCloseFailure);
            AppendLog(activity_log::ReasonText(DescribeFailure(gateway.LastFailure())));
            if (m_onRuleFailure) {
                m_onRuleFailure(gateway.LastFailure());
            }
        }
    }
    AppendLog(activity_log::kRunEnd);
}

void CPortMapDlg::ListCycle() {
    ++m_runCount;
    m_lastRun = RunSummary();
    m_lastListing = MappingListing();
    CRouterDevice gateway;
    MappingListing& l = m_lastListing;
    if (!FindGateway(*this, gateway, &l)) {
        l.failureText = DescribeFailure(gateway.LastFailure());
        return;
    }
    m_lastRun.gatewayFound = true;
    l.localAddress = gateway.GetLocalAddress().ToText();
    const bool read = gateway.ReadPortMappingTable(&l.entries, &l.capped) == 0;
    const FailureReason failure = gateway.LastFailure();
    l.tableRead = read;
    if (!l.entries.empty()) {
        AppendLog(activity_log::TableHeadingText(l.entries.size()));
    } else if (read) {
        AppendLog(activity_log::kTableEmpty);
    }
    AppendLog(MappingTableText(l.entries, l.localAddress));
    const bool anyHere =
        std::any_of(l.entries.begin(), l.entries.end(),
                    [&](const PortMappingEntry& e) { return e.internalClient == l.localAddress; });
    if (anyHere) {
        AppendLog(activity_log::kTableMarkNote);
    }
    if (l.capped) {
        AppendLog(activity_log::kTableCapped);
    }
    if (!read) {
        l.failureText = DescribeFailure(failure);
        AppendLog(activity_log::kTableFailure);
        AppendLog(activity_log::ReasonText(l.failureText));
        if (m_onRuleFailure) {
            m_onRuleFailure(failure);
        }
    }
    l.externalAddress = ExternalAddress(gateway);
    if (!l.externalAddress.empty()) {
        AppendLog(activity_log::ExternalAddressText(l.externalAddress));
    }
    AppendLog(activity_log::kRunEnd);
}
