#include "app/RuleFile.h"

#include "text/Text.h"

std::string RuleFileText(std::string_view crlfText) {
    // Walked as a view: cutting lines off the front of a string would move
    // the rest of a 10 MB file once per line.
    std::string kept;
    std::string_view rest = crlfText;
    while (!rest.empty()) {
        const std::size_t end = rest.find("\r\n");
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 2);
        const std::string trimmed = text::TrimLeft(line);
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        if (!kept.empty()) {
            kept += "\r\n";
        }
        kept += line;
    }
    return kept;
}
