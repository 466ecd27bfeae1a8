#include "app/PortMappingRule.h"

#include "text/Text.h"

int PortMappingRule::ExternalPortNumber() const {
    return text::AtoiPrefix(externalPort);
}

int PortMappingRule::InternalPortNumber() const {
    return text::AtoiPrefix(internalPort);
}

bool ParseRuleLine(std::string line, PortMappingRule* rule) {
    if (!text::CutToken(line, rule->externalPort, ",") ||
        !text::CutToken(line, rule->internalPort, ",") ||
        !text::CutToken(line, rule->protocol, ",")) {
        return false;
    }
    rule->description = std::move(line);
    if (rule->description.empty()) {
        return false;
    }
    std::string* const fields[] = {&rule->externalPort, &rule->internalPort, &rule->protocol,
                                   &rule->description};
    for (std::string* field : fields) {
        *field = text::TrimLeft(*field);
    }
    for (std::string* field : fields) {
        *field = text::TrimRight(*field);
    }
    for (const std::string* field : fields) {
        if (field->empty()) {
            return false;
        }
    }
    return true;
}

std::vector<PortMappingRule> RulesOf(const std::string& ruleText) {
    std::vector<PortMappingRule> rules;
    // A CR LF appended, so that the last line is always terminated.
    std::string working = ruleText + "\r\n";
    std::string line;
    PortMappingRule rule;
    while (text::CutLine(working, line) && ParseRuleLine(line, &rule)) {
        rules.push_back(rule);
    }
    return rules;
}
