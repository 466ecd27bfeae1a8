// Why a step of a run failed, in words for the user: one line, in the texts' language.
// The router's own words (English status texts, error names) go into a
// separate record for those who want them.
#pragma once

#include <string>

#include "app/ApplyRule.h"
#include "app/PortMappingRule.h"
#include "pcp/MapExchange.h"
#include "upnp/FailureReason.h"

// "理由: " and what went wrong: the step, and for a refusal the UPnP error
// code explained. No line end; a router's text that is not UTF-8 shows as
// U+FFFD.
std::string DescribeFailure(const FailureReason& reason);

// The same for a rule the router did not map: names the port, and for a
// port that is taken, who holds it.
std::string DescribeRuleFailure(const RuleResult& result, const PortMappingRule& rule);

// The failure as recorded, in the protocol's and the router's own words:
// which exchange, HTTP status line, UPnP error code and name, what the
// connection said. One line; empty when there is nothing beyond the step.
std::string DescribeFailureRecord(const FailureReason& reason);

// "理由: " and why a PCP or NAT-PMP request did not give the mapping: no
// answer, or the router's result code explained, with its RFC name.
std::string DescribePcpFailure(pcp::MapOutcome outcome, pcp::ResultCode code, unsigned rawCode);
