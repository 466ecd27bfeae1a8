#include "app/LogWriter.h"

#include <algorithm>

#include "app/ActivityLog.h"
#include "app/FailureText.h"
#include "app/LineLogText.h"
#include "app/LocalSideText.h"
#include "app/MappingTable.h"
#include "app/PcpLogText.h"
#include "app/PinholeLogText.h"
#include "app/RecordLogText.h"
#include "net/AddressScope.h"
#include "text/Text.h"

using namespace session;

void LogWriter::operator()(const Event& event) {
    std::visit([this](const auto& e) { On(e); }, event);
}

void LogWriter::Write(const std::string& message) {
    append_(activity_log::LoggedText(message));
}

void LogWriter::On(const PeriodicRun& e) {
    Write(activity_log::FormatLocalTime(e.time, activity_log::kTimeStampPattern));
    Write(activity_log::kAutoRun);
}

void LogWriter::On(const SettingsNotSaved&) {
    Write(activity_log::kSaveFailed);
}

void LogWriter::On(const LoginStartNotChanged& e) {
    Write(e.on ? activity_log::kLoginStartNotSet : activity_log::kLoginStartNotRemoved);
}

void LogWriter::On(const GatewayNotFound&) {
    Write(activity_log::kNotFound);
}

void LogWriter::On(const GatewayFound& e) {
    Write(activity_log::kFound);
    Write(activity_log::GatewayText(e.address, e.location));
}

void LogWriter::On(const RuleStarted& e) {
    const PortMappingRule& r = e.rule;
    Write(e.operation == Operation::kClose
              ? activity_log::CloseStartText(r.externalPort, r.protocol)
              : activity_log::RuleStartText(r.externalPort, r.internalPort, r.protocol));
}

void LogWriter::On(const RuleOpened& e) {
    Write(activity_log::kSuccess);
    if (e.result.kind == RuleResult::Kind::kAlreadyThere) {
        Write(activity_log::AlreadyThereText(e.result.holder.description));
    } else if (e.result.kind == RuleResult::Kind::kMovedFromOldAddress) {
        Write(activity_log::MovedFromOldAddressText(e.result.holder.internalClient));
    }
}

void LogWriter::On(const RuleFailed& e) {
    Write(activity_log::kFailure);
    Write(activity_log::ReasonText(DescribeRuleFailure(e.result, e.rule)));
}

void LogWriter::On(const RuleClosed& e) {
    Write(e.wasThere ? activity_log::kClosed : activity_log::kNothingToClose);
}

void LogWriter::On(const CloseFailed& e) {
    Write(activity_log::kCloseFailure);
    Write(activity_log::ReasonText(DescribeFailure(e.reason)));
}

void LogWriter::On(const TableListed& e) {
    if (!e.entries.empty()) {
        Write(activity_log::TableHeadingText(e.entries.size()));
    } else if (e.complete) {
        Write(activity_log::kTableEmpty);
    }
    Write(MappingTableText(e.entries, e.localAddress, e.madeByPontaro));
    if (std::any_of(e.entries.begin(), e.entries.end(), [&](const PortMappingEntry& m) {
            return m.internalClient == e.localAddress;
        })) {
        Write(activity_log::kTableMarkNote);
    }
    if (std::find(e.madeByPontaro.begin(), e.madeByPontaro.end(), true) != e.madeByPontaro.end()) {
        Write(activity_log::kTableMadeNote);
    }
    if (e.capped) {
        Write(activity_log::kTableCapped);
    }
}

void LogWriter::On(const TableFailed& e) {
    Write(activity_log::kTableFailure);
    Write(activity_log::ReasonText(DescribeFailure(e.reason)));
}

void LogWriter::On(const OutsideAddress& e) {
    Write(activity_log::ExternalAddressText(e.address));
    if (e.warnIfNotPublic && !IsPublicIPv4(e.address)) {
        std::string warning = activity_log::NotPublicText(e.address);
        if (!e.ipv6Address.empty()) {
            // The sentence goes before the line end.
            warning.insert(warning.size() - 2, activity_log::ReachableOverIpv6Text(e.ipv6Address));
        }
        Write(warning);
    }
}

void LogWriter::On(const RunEnded&) {
    Write(activity_log::kRunEnd);
}

void LogWriter::On(const PcpGatewayFound& e) {
    Write(activity_log::PcpFoundText(e.protocol, e.address));
}

void LogWriter::On(const PcpRuleOpened& e) {
    Write(activity_log::kSuccess);
    if (e.externalPort != e.rule.ExternalPortNumber()) {
        Write(activity_log::OpenedPortText(e.externalPort));
    }
}

void LogWriter::On(const PcpRuleFailed& e) {
    Write(e.operation == Operation::kClose ? activity_log::kCloseFailure : activity_log::kFailure);
    Write(activity_log::ReasonText(DescribePcpFailure(e.outcome, e.code, e.rawCode)));
}

void LogWriter::On(const PcpLifetime& e) {
    Write(activity_log::LifetimeText(e.seconds));
}

void LogWriter::On(const PcpListed& e) {
    Write(activity_log::PcpListedText(e.mapped));
}

void LogWriter::On(const PinholesUnavailable& e) {
    // Only a router that keeps pinholes from working is the user's concern;
    // a machine or router without IPv6 gets the log it always got.
    if (e.why == PinholesUnavailable::Why::kFirewallDisabled) {
        Write(activity_log::kFirewallDisabled);
    } else if (e.why == PinholesUnavailable::Why::kPinholesNotAllowed) {
        Write(activity_log::kPinholesNotAllowed);
    }
}

namespace {

std::string PinholeStart(const std::string& address, const PortMappingRule& rule) {
    return activity_log::PinholeStartText(address, rule.InternalPortNumber(),
                                          text::AsciiUpper(rule.protocol));
}

}  // namespace

void LogWriter::On(const PinholeOpened& e) {
    Write(PinholeStart(e.address, e.rule) + activity_log::kSuccess);
}

void LogWriter::On(const PinholeFailed& e) {
    Write(PinholeStart(e.address, e.rule) + (e.operation == Operation::kClose
                                                 ? activity_log::kCloseFailure
                                                 : activity_log::kFailure));
    Write(activity_log::ReasonText(DescribePinholeFailure(
        e.reason,
        std::to_string(e.rule.InternalPortNumber()) + "/" + text::AsciiUpper(e.rule.protocol))));
}

void LogWriter::On(const PinholeClosed& e) {
    Write(PinholeStart(e.address, e.rule) +
          (e.wasThere ? activity_log::kClosed : activity_log::kNothingToClose));
}

void LogWriter::On(const PinholesListed& e) {
    Write(activity_log::PinholesListedText(e.pinholes));
}

void LogWriter::On(const RecordTrouble& e) {
    Write(activity_log::RecordTroubleText(e.trouble));
}

void LogWriter::On(const RecordedClosed& e) {
    Write(activity_log::RecordedStartText(e.entry) + (e.ruleGone ? activity_log::kSwept
                                                      : e.wasThere
                                                          ? activity_log::kClosed
                                                          : activity_log::kNothingToClose));
}

void LogWriter::On(const RecordedCloseFailed& e) {
    Write(activity_log::RecordedStartText(e.entry) +
          (e.ruleGone ? activity_log::kSweepFailure : activity_log::kCloseFailure));
    switch (e.entry.kind) {
        case OpenedEntry::Kind::kMapping:
            Write(activity_log::ReasonText(DescribeFailure(e.reason)));
            break;
        case OpenedEntry::Kind::kPinhole:
            Write(activity_log::ReasonText(DescribePinholeFailure(
                e.reason, std::to_string(e.entry.internalPort) + "/" + e.entry.protocol)));
            break;
        case OpenedEntry::Kind::kPcp:
            Write(activity_log::ReasonText(
                DescribePcpFailure(e.pcp.outcome, e.pcp.code, e.pcp.rawCode)));
            break;
    }
}

void LogWriter::On(const RecordedElsewhere& e) {
    Write(activity_log::RecordedElsewhereText(e));
}

void LogWriter::On(const NothingRecorded&) {
    Write(activity_log::kNothingRecorded);
}

void LogWriter::On(const ListenerChecked& e) {
    const std::string note = activity_log::LocalSideText(e);
    if (!note.empty()) {
        Write(note);
    }
}

void LogWriter::On(const LineFound& e) {
    Write(activity_log::LineText(e));
}
