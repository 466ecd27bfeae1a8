// The rule text as the user types it (or a rule file holds it), cut into
// lines and rules as a run does.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "app/PortMappingRule.h"
#include "text/Text.h"

namespace {

bool Trimmed(const std::string& s) {
    return !s.empty() && !text::IsAsciiSpace(s.front()) && !text::IsAsciiSpace(s.back());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string ruleText(reinterpret_cast<const char*>(data), size);
    const std::vector<PortMappingRule> rules = RulesOf(ruleText);

    // The same rules, line by line: the last line needs no line end.
    std::string working = ruleText + "\r\n";
    std::string line;
    std::size_t consumed = 0;
    std::size_t parsed = 0;
    while (text::CutLine(working, line)) {
        consumed += line.size() + 2;
        FUZZ_CHECK(line.find("\r\n") == std::string::npos);
        PortMappingRule rule;
        if (!ParseRuleLine(line, &rule)) {
            break;  // the first incomplete line ends the list
        }
        FUZZ_CHECK(parsed < rules.size());
        FUZZ_CHECK(rules[parsed].externalPort == rule.externalPort &&
                   rules[parsed].internalPort == rule.internalPort &&
                   rules[parsed].protocol == rule.protocol &&
                   rules[parsed].description == rule.description);
        ++parsed;
        // Four trimmed, non-empty fields; the first three hold no comma,
        // and every field is a piece of the line.
        for (const std::string* field :
             {&rule.externalPort, &rule.internalPort, &rule.protocol, &rule.description}) {
            FUZZ_CHECK(Trimmed(*field));
            FUZZ_CHECK(line.find(*field) != std::string::npos);
        }
        FUZZ_CHECK(rule.externalPort.find(',') == std::string::npos);
        FUZZ_CHECK(rule.internalPort.find(',') == std::string::npos);
        FUZZ_CHECK(rule.protocol.find(',') == std::string::npos);
        // atoi rules without overflow: any digits give some int.
        const int external = rule.ExternalPortNumber();
        const int internal = rule.InternalPortNumber();
        if (rule.externalPort.find_first_of("0123456789") == std::string::npos) {
            FUZZ_CHECK(external == 0);
        }
        if (rule.internalPort.find_first_of("0123456789") == std::string::npos) {
            FUZZ_CHECK(internal == 0);
        }
    }
    FUZZ_CHECK(parsed == rules.size());
    FUZZ_CHECK(consumed <= ruleText.size() + 2);
    return 0;
}
