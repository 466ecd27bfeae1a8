// The record's file format: a version line, one line per entry, an end line
// that counts them.
//
//   pontaro-record 1
//   1<TAB>mapping<TAB>state=granted<TAB>router=uuid:...<TAB>at=192.168.0.1<TAB>...
//   end 1
//
// Every entry line starts with the format version it was written in, then
// its kind, then key=value fields; values are UTF-8 with '%', control
// characters and DEL as %XX. A later format keeps this much, so that this
// version can keep the lines it does not understand as they are.
#include "app/OpenedRecord.h"

#include <algorithm>

#include "text/Text.h"

namespace {

constexpr char kVersionWord[] = "pontaro-record";
constexpr char kEndWord[] = "end";

struct KindName {
    OpenedEntry::Kind kind;
    const char* name;
};
constexpr KindName kKinds[] = {{OpenedEntry::Kind::kMapping, "mapping"},
                               {OpenedEntry::Kind::kPinhole, "pinhole"},
                               {OpenedEntry::Kind::kPcp, "pcp"}};

const char* NameOf(OpenedEntry::Kind kind) {
    for (const KindName& k : kKinds) {
        if (k.kind == kind) {
            return k.name;
        }
    }
    return "mapping";
}

std::string Encode(std::string_view value) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (char c : value) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '%' || u < 0x20 || u == 0x7F) {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

bool Decode(std::string_view value, std::string* out) {
    out->clear();
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            *out += value[i];
            continue;
        }
        const bool whole = i + 2 < value.size();
        const int high = whole ? text::HexDigitValue(value[i + 1]) : -1;
        const int low = whole ? text::HexDigitValue(value[i + 2]) : -1;
        if (high < 0 || low < 0) {
            return false;
        }
        *out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool Number(const std::string& s, unsigned long long max, unsigned long long* value) {
    return s.size() <= 20 && text::ParseDecimal(s, max, value);
}

bool Port(const std::string& s, int* port) {
    unsigned long long v = 0;
    if (!Number(s, 65535, &v)) {
        return false;
    }
    *port = static_cast<int>(v);
    return true;
}

std::vector<std::string_view> SplitTabs(std::string_view line) {
    std::vector<std::string_view> fields;
    for (;;) {
        const std::size_t tab = line.find('\t');
        fields.push_back(line.substr(0, tab));
        if (tab == std::string_view::npos) {
            return fields;
        }
        line.remove_prefix(tab + 1);
    }
}

// One field into the entry; false when its value is not one the key can have.
bool TakeField(const std::string& key, const std::string& value, OpenedEntry* e,
               std::vector<std::string>* seen) {
    unsigned long long n = 0;
    seen->push_back(key);
    if (key == "state") {
        if (value != "asked" && value != "granted") {
            return false;
        }
        e->state = value == "asked" ? OpenedEntry::State::kAsked : OpenedEntry::State::kGranted;
    } else if (key == "router") {
        e->routerUdn = value;
    } else if (key == "at") {
        e->routerAddress = value;
    } else if (key == "protocol") {
        e->protocol = value;
    } else if (key == "external") {
        return Port(value, &e->externalPort);
    } else if (key == "requested") {
        return Port(value, &e->requestedPort);
    } else if (key == "client") {
        e->internalClient = value;
    } else if (key == "internal") {
        return Port(value, &e->internalPort);
    } else if (key == "description") {
        e->description = value;
    } else if (key == "id") {
        e->uniqueId = value;
    } else if (key == "lifetime") {
        if (!Number(value, 0xFFFFFFFFu, &n)) {
            return false;
        }
        e->lifetime = static_cast<std::uint32_t>(n);
    } else if (key == "list") {
        e->list = value;
    } else if (key == "confirmed") {
        if (!Number(value, 0x7FFFFFFFFFFFFFFFull, &n)) {
            return false;
        }
        e->confirmed = static_cast<std::int64_t>(n);
    } else {
        seen->pop_back();
        e->otherFields.emplace_back(key, value);
    }
    return true;
}

bool Has(const std::vector<std::string>& seen, std::string_view key) {
    for (const std::string& s : seen) {
        if (s == key) {
            return true;
        }
    }
    return false;
}

// An entry line of this version, without its version field.
bool ParseEntry(const std::vector<std::string_view>& fields, OpenedEntry* e) {
    if (fields.size() < 2) {
        return false;
    }
    bool known = false;
    for (const KindName& k : kKinds) {
        if (fields[1] == k.name) {
            e->kind = k.kind;
            known = true;
        }
    }
    if (!known) {
        return false;
    }
    std::vector<std::string> seen;
    for (std::size_t i = 2; i < fields.size(); ++i) {
        const std::size_t eq = fields[i].find('=');
        std::string value;
        if (eq == 0 || eq == std::string_view::npos || !Decode(fields[i].substr(eq + 1), &value)) {
            return false;
        }
        const std::string key(fields[i].substr(0, eq));
        if (Has(seen, key) || !TakeField(key, value, e, &seen)) {
            return false;
        }
    }
    for (const char* required : {"state", "at", "protocol", "client", "internal", "list"}) {
        if (!Has(seen, required)) {
            return false;
        }
    }
    if (e->kind == OpenedEntry::Kind::kPinhole) {
        return e->state == OpenedEntry::State::kAsked || !e->uniqueId.empty();
    }
    if (e->requestedPort == 0) {
        e->requestedPort = e->externalPort;
    }
    return Has(seen, "external");
}

// "WORD N" with N a positive decimal number.
bool WordAndNumber(std::string_view line, std::string_view word, unsigned long long* n) {
    if (line.size() <= word.size() + 1 || line.substr(0, word.size()) != word ||
        line[word.size()] != ' ') {
        return false;
    }
    return Number(std::string(line.substr(word.size() + 1)), 0xFFFFFFFFu, n);
}

void Field(std::string* out, std::string_view key, const std::string& value) {
    *out += '\t';
    *out += key;
    *out += '=';
    *out += Encode(value);
}

}  // namespace

namespace record {

std::string FileList(const std::string& absolutePath) {
    return "file:" + absolutePath;
}

}  // namespace record

bool SameRouter(const OpenedEntry& a, const OpenedEntry& b) {
    if (!a.routerUdn.empty() && !b.routerUdn.empty()) {
        return a.routerUdn == b.routerUdn;
    }
    return a.routerAddress == b.routerAddress;
}

bool SameSlot(const OpenedEntry& a, const OpenedEntry& b) {
    if (a.kind != b.kind || a.state != b.state || !SameRouter(a, b) ||
        !text::EqualsNoCase(a.protocol, b.protocol)) {
        return false;
    }
    if (a.kind == OpenedEntry::Kind::kMapping) {
        return a.externalPort == b.externalPort;
    }
    return a.internalClient == b.internalClient && a.internalPort == b.internalPort;
}

bool ParseRecord(std::string_view text, RecordText* record) {
    RecordText read;
    std::string_view rest = text;
    bool versionSeen = false;
    bool ended = false;
    while (!rest.empty()) {
        std::string_view line = text::TakeLine(rest);
        // Every CR before the LF: a line kept as read (a newer format's)
        // must come back the same after it is written with LF alone.
        while (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        unsigned long long n = 0;
        if (ended) {
            return false;  // something after the end line
        }
        if (!versionSeen) {
            if (!WordAndNumber(line, kVersionWord, &n) || n == 0) {
                return false;
            }
            versionSeen = true;
            read.version = static_cast<unsigned>(std::max<unsigned long long>(n, read.version));
            continue;
        }
        if (WordAndNumber(line, kEndWord, &n)) {
            if (n != read.entries.size() + read.newerLines.size()) {
                return false;
            }
            ended = true;
            continue;
        }
        const std::vector<std::string_view> fields = SplitTabs(line);
        if (!Number(std::string(fields[0]), 0xFFFFFFFFu, &n) || n == 0) {
            return false;
        }
        if (n > RecordText::kVersion) {
            read.newerLines.emplace_back(line);
            continue;
        }
        OpenedEntry entry;
        if (!ParseEntry(fields, &entry)) {
            return false;
        }
        read.entries.push_back(std::move(entry));
    }
    if (!ended) {
        return false;
    }
    *record = std::move(read);
    return true;
}

std::string FormatRecord(const RecordText& record) {
    std::string out = std::string(kVersionWord) + " " + std::to_string(record.version) + "\n";
    out += "# Pontaro: what it opened on routers (docs/behaviour.md). Rewritten by Pontaro.\n";
    for (const OpenedEntry& e : record.entries) {
        out += std::to_string(RecordText::kVersion);
        out += '\t';
        out += NameOf(e.kind);
        Field(&out, "state", e.state == OpenedEntry::State::kAsked ? "asked" : "granted");
        if (!e.routerUdn.empty()) {
            Field(&out, "router", e.routerUdn);
        }
        Field(&out, "at", e.routerAddress);
        Field(&out, "protocol", e.protocol);
        // A pinhole has no outside port; one a hand-edited line gave it is kept.
        if (e.kind != OpenedEntry::Kind::kPinhole || e.externalPort != 0) {
            Field(&out, "external", std::to_string(e.externalPort));
        }
        if (e.requestedPort != e.externalPort) {  // PCP may grant another port
            Field(&out, "requested", std::to_string(e.requestedPort));
        }
        Field(&out, "client", e.internalClient);
        Field(&out, "internal", std::to_string(e.internalPort));
        Field(&out, "description", e.description);
        if (!e.uniqueId.empty()) {
            Field(&out, "id", e.uniqueId);
        }
        if (e.lifetime != 0) {
            Field(&out, "lifetime", std::to_string(e.lifetime));
        }
        Field(&out, "list", e.list);
        Field(&out, "confirmed", std::to_string(e.confirmed));
        for (const auto& [key, value] : e.otherFields) {
            Field(&out, key, value);  // as read, a NUL byte included
        }
        out += '\n';
    }
    for (const std::string& line : record.newerLines) {
        out += line + "\n";
    }
    return out + kEndWord + " " + std::to_string(record.entries.size() + record.newerLines.size()) +
           "\n";
}
