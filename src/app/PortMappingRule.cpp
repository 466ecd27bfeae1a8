#include "app/PortMappingRule.h"

#include <algorithm>
#include <string_view>

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
    // Line by line up to the first that is no rule; the last line needs no
    // CR LF.
    std::string_view rest = ruleText;
    PortMappingRule rule;
    for (std::size_t from = 0; from <= rest.size();) {
        const std::size_t end = std::min(rest.find("\r\n", from), rest.size());
        if (!ParseRuleLine(std::string(rest.substr(from, end - from)), &rule)) {
            break;
        }
        rules.push_back(rule);
        from = end + 2;
    }
    return rules;
}
