#include "platform/LoginEntryText.h"

#include <string_view>

#include "text/Text.h"

namespace platform {

namespace {

// The reserved characters of freedesktop.org's desktop entry format: an argument with
// one of them goes in quote marks, where these four take a backslash.
constexpr std::string_view kReserved = " \t\n\"'\\><~|&;$*?#()`";
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

bool Writable(const std::string& s) {
    if (s.empty() || text::SanitizeUtf8(s) != s) {
        return false;
    }
    for (const char c : s) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
            return false;
        }
    }
    return true;
}

// One argument of Exec, before the string escapes of every value.
std::string ExecArgument(const std::string& arg) {
    const bool quoted = arg.find_first_of(kReserved) != std::string::npos;
    std::string out = quoted ? "\"" : "";
    for (const char c : arg) {
        if (quoted && kEscapedInQuotes.find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c == '%' ? "%%" : std::string(1, c);  // a field code otherwise
    }
    return quoted ? out + "\"" : out;
}

// The escapes of a string value: of those, only a backslash can occur here.
std::string StringValue(const std::string& s) {
    return text::ReplaceAll(s, "\\", "\\\\");
}

std::string UnescapeStringValue(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out += s[i];
            continue;
        }
        const char next = s[++i];
        switch (next) {
            case 's':
                out += ' ';
                break;
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case '\\':
                out += '\\';
                break;
            default:  // not an escape: both kept
                out += '\\';
                out += next;
        }
    }
    return out;
}

std::optional<std::string> FirstExecArgument(const std::string& exec) {
    std::size_t i = exec.find_first_not_of(" \t");
    if (i == std::string::npos) {
        return std::nullopt;
    }
    std::string arg;
    if (exec[i] == '"') {
        for (++i;; ++i) {
            if (i == exec.size()) {
                return std::nullopt;
            }
            if (exec[i] == '"') {
                break;
            }
            if (exec[i] == '\\' && i + 1 < exec.size() &&
                kEscapedInQuotes.find(exec[i + 1]) != std::string_view::npos) {
                ++i;
            }
            arg += exec[i];
        }
    } else {
        arg = exec.substr(i, exec.find_first_of(" \t", i) - i);
    }
    arg = text::ReplaceAll(arg, "%%", "%");
    if (arg.empty()) {
        return std::nullopt;
    }
    return arg;
}

}  // namespace

std::string AutostartEntryText(const std::string& command) {
    if (!Writable(command)) {
        return std::string();
    }
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Pontaro\n"
           "Comment=Keeps the ports of its rules open on the router\n"
           "Comment[ja]=ルールのポートをルータで開いたままにします\n"
           "Exec=" +
           StringValue(ExecArgument(command) + " " + kAutostartArgument) +
           "\n"
           // Without the program (uninstalled), the desktop skips the entry.
           "TryExec=" +
           StringValue(command) +
           "\n"
           "Icon=pontaro\n"
           "Terminal=false\n";
}

std::optional<std::string> AutostartEntryProgram(const std::string& text) {
    std::string_view rest = text;
    bool inMainGroup = false;
    bool switchedOff = false;
    std::optional<std::string> exec;
    while (!rest.empty()) {
        const std::string_view line = text::TakeLine(rest);
        const std::string trimmed = text::Trim(line);
        if (trimmed.empty() || trimmed[0] == '#') {
            continue;
        }
        if (trimmed[0] == '[') {
            inMainGroup = trimmed == "[Desktop Entry]";
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inMainGroup || equals == std::string_view::npos) {
            continue;
        }
        const std::string key = text::Trim(line.substr(0, equals));
        const std::string value = text::Trim(line.substr(equals + 1));
        if (key == "Exec" && !exec) {
            exec = UnescapeStringValue(value);
        } else if (key == "Hidden") {
            switchedOff = switchedOff || value == "true";
        } else if (key == "X-GNOME-Autostart-enabled") {
            switchedOff = switchedOff || value == "false";
        }
    }
    if (switchedOff || !exec) {
        return std::nullopt;
    }
    return FirstExecArgument(*exec);
}

std::string RunValueText(const std::string& exePath) {
    if (exePath.empty() || exePath.find('"') != std::string::npos) {
        return std::string();
    }
    return "\"" + exePath + "\" " + kAutostartArgument;
}

std::optional<std::string> RunValueProgram(const std::string& value) {
    const std::size_t start = value.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return std::nullopt;
    }
    if (value[start] != '"') {
        return value.substr(start, value.find_first_of(" \t", start) - start);
    }
    const std::size_t close = value.find('"', start + 1);
    if (close == std::string::npos || close == start + 1) {
        return std::nullopt;
    }
    return value.substr(start + 1, close - start - 1);
}

}  // namespace platform
