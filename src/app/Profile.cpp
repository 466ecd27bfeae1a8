#include "app/Profile.h"

#include <string_view>

#include "platform/Files.h"
#include "text/Text.h"

Profile::Profile() : Profile(platform::DefaultProfilePath()) {}

Profile::Profile(std::string path) : path_(std::move(path)) {
    Load();
}

void Profile::Load() {
    std::string contents;
    switch (platform::ReadWholeFile(path_, &contents)) {
        case platform::ReadResult::kMissing:
            return;
        case platform::ReadResult::kUnreadable:
            readOnly_ = true;
            return;
        case platform::ReadResult::kOk:
            break;
    }
    std::string_view rest = text::DropUtf8Bom(contents);
    std::vector<std::pair<std::string, std::string>>* current = nullptr;
    while (!rest.empty()) {
        std::string_view line = text::TakeLine(rest);
        // Every CR at the end goes: a save writes LF alone, and a value must
        // read the same before and after one.
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string head = text::TrimLeft(line);
        if (head.empty() || head[0] == ';' || head[0] == '#') {
            continue;
        }
        if (head[0] == '[') {
            const std::size_t close = head.find(']');
            if (close == std::string::npos) {
                current = nullptr;  // a broken header: ignore what follows until the next one
                continue;
            }
            const std::string name = text::Trim(std::string_view(head).substr(1, close - 1));
            current = nullptr;
            for (auto& section : sections_) {
                if (section.first == name) {
                    current = &section.second;
                }
            }
            if (current == nullptr) {
                sections_.emplace_back(name, std::vector<std::pair<std::string, std::string>>());
                current = &sections_.back().second;
            }
            continue;
        }
        const std::size_t eq = head.find('=');
        if (current == nullptr || eq == std::string::npos) {
            continue;
        }
        const std::string key = text::TrimRight(std::string_view(head).substr(0, eq));
        if (key.empty()) {
            continue;
        }
        bool seen = false;
        for (const auto& entry : *current) {
            seen = seen || entry.first == key;
        }
        if (!seen) {  // the first of duplicate keys wins
            current->emplace_back(key, head.substr(eq + 1));
        }
    }
}

const std::string* Profile::Find(const std::string& section, const std::string& key) const {
    for (const auto& s : sections_) {
        if (s.first != section) {
            continue;
        }
        for (const auto& entry : s.second) {
            if (entry.first == key) {
                return &entry.second;
            }
        }
    }
    return nullptr;
}

std::string Profile::GetString(const std::string& section, const std::string& key,
                               const std::string& defaultValue) const {
    const std::string* value = Find(section, key);
    return value != nullptr ? text::SanitizeUtf8(*value) : defaultValue;
}

int Profile::GetInt(const std::string& section, const std::string& key, int defaultValue) const {
    const std::string* value = Find(section, key);
    return value != nullptr ? text::AtoiPrefix(*value) : defaultValue;
}

bool Profile::GetSwitch(const std::string& section, const std::string& key,
                        bool defaultValue) const {
    const std::string* value = Find(section, key);
    const std::string trimmed = value != nullptr ? text::Trim(*value) : std::string();
    return trimmed == "1" ? true : trimmed == "0" ? false : defaultValue;
}

bool Profile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
    // A value is one line of the file. A line break that is not CR LF (the
    // stored form has replaced those) is kept as a stored line break too.
    std::string oneLine;
    oneLine.reserve(value.size());
    for (char c : value) {
        if (c == '\r' || c == '\n') {
            oneLine += "\\r\\n";
        } else {
            oneLine += c;
        }
    }
    std::vector<std::pair<std::string, std::string>>* entries = nullptr;
    for (auto& s : sections_) {
        if (s.first == section) {
            entries = &s.second;
            break;
        }
    }
    if (entries == nullptr) {
        sections_.emplace_back(section, std::vector<std::pair<std::string, std::string>>());
        entries = &sections_.back().second;
    }
    bool replaced = false;
    for (auto& entry : *entries) {
        if (entry.first == key) {
            entry.second = oneLine;
            replaced = true;
            break;
        }
    }
    if (!replaced) {
        entries->emplace_back(key, std::move(oneLine));
    }
    return Save();
}

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

bool Profile::Save() const {
    if (readOnly_) {
        return false;
    }
    std::string out;
    for (const auto& s : sections_) {
        out += "[" + s.first + "]\n";
        for (const auto& entry : s.second) {
            out += entry.first + "=" + entry.second + "\n";
        }
    }
    return platform::WriteFileAtomically(path_, out);
}

std::string RuleTextToStored(const std::string& crlfText) {
    return text::ReplaceAll(crlfText, "\r\n", "\\r\\n");
}

std::string RuleTextFromStored(const std::string& stored) {
    return text::ReplaceAll(stored, "\\r\\n", "\r\n");
}
