// The rule text: one port-forwarding rule per CR LF line,
// "external port, internal port, protocol, description". The text is parsed
// afresh at every run; nothing keeps a list of rules.
#pragma once

#include <string>
#include <vector>

struct PortMappingRule {
    std::string externalPort;  // trimmed, as typed
    std::string internalPort;
    std::string protocol;     // passed on unchanged ("TCP", "UDP", or anything typed)
    std::string description;  // everything after the third comma, commas included

    // atoi rules on the port texts: no range check, no digits gives 0.
    int ExternalPortNumber() const;
    int InternalPortNumber() const;
};

// One line (without its line end) into a rule. false when the line is not a
// complete rule (fewer than three commas or an empty field); `rule` is then
// left in an unspecified state.
bool ParseRuleLine(std::string line, PortMappingRule* rule);

// The rules of a rule text, in order, up to the first line that is not a
// complete rule (that line and all after it are not applied).
std::vector<PortMappingRule> RulesOf(const std::string& ruleText);
