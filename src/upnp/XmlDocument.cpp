#include "upnp/XmlDocument.h"

#include <algorithm>

namespace upnp {

namespace {

bool IsNameStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' ||
           static_cast<unsigned char>(c) >= 0x80;
}

bool IsNameChar(char c) {
    return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

void AppendUtf8(std::uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The character a reference ("amp", "#38", "#x26") stands for; false when it
// is none that XML defines without a document type, or names no character.
bool DecodeReference(std::string_view name, std::string& out) {
    static constexpr struct {
        std::string_view name;
        char c;
    } kPredefined[] = {{"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}};
    for (const auto& p : kPredefined) {
        if (name == p.name) {
            out.push_back(p.c);
            return true;
        }
    }
    if (name.size() < 2 || name[0] != '#') {
        return false;
    }
    const bool hex = name[1] == 'x';
    const std::string_view digits = name.substr(hex ? 2 : 1);
    if (digits.empty()) {
        return false;
    }
    std::uint32_t cp = 0;
    for (char c : digits) {
        std::uint32_t d = 0;
        if (c >= '0' && c <= '9') {
            d = static_cast<std::uint32_t>(c - '0');
        } else if (hex && c >= 'a' && c <= 'f') {
            d = static_cast<std::uint32_t>(c - 'a' + 10);
        } else if (hex && c >= 'A' && c <= 'F') {
            d = static_cast<std::uint32_t>(c - 'A' + 10);
        } else {
            return false;
        }
        cp = cp * (hex ? 16 : 10) + d;
        if (cp > 0x10FFFF) {
            return false;
        }
    }
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return false;
    }
    AppendUtf8(cp, out);
    return true;
}

// The longest reference name looked at ("#x10FFFF" and the entity names fit).
constexpr std::size_t kMaxReference = 10;

// Where the start tag whose name begins at `from` ends (its ">"), skipping
// quoted attribute values. npos when another "<" comes first, quoted or not
// (then the "<" was text), or the text ends. Never looks past the next "<",
// so a run of broken tags costs no more than one pass.
std::size_t StartTagEnd(std::string_view s, std::size_t from) {
    for (std::size_t i = from; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '>') {
            return i;
        }
        if (c == '<') {
            return std::string_view::npos;
        }
        if (c == '"' || c == '\'') {
            const char quote[] = {c, '<', '\0'};
            i = s.find_first_of(quote, i + 1);
            if (i == std::string_view::npos || s[i] == '<') {
                return std::string_view::npos;
            }
        }
    }
    return std::string_view::npos;
}

}  // namespace

void XmlDocument::Clear() {
    source_.clear();
    texts_.clear();
    items_.clear();
    open_.clear();
    refusal_.clear();
    complete_ = false;
}

std::uint32_t XmlDocument::Add(bool element, std::uint32_t begin, std::uint32_t size) {
    Item item;
    item.element = element;
    item.begin = begin;
    item.size = size;
    const auto index = static_cast<std::uint32_t>(items_.size());
    item.end = index + 1;
    if (!open_.empty()) {
        Item& parent = items_[open_.back()];
        item.parent = open_.back();
        if (parent.lastChild == kNone) {
            parent.firstChild = index;
        } else {
            items_[parent.lastChild].next = index;
        }
        parent.lastChild = index;
    }
    items_.push_back(item);
    return index;
}

void XmlDocument::AddText(std::string_view raw, bool decode) {
    // Text outside the first element (white space, mostly) is nobody's.
    if (open_.empty() || raw.empty()) {
        return;
    }
    const auto begin = static_cast<std::uint32_t>(texts_.size());
    for (std::size_t i = 0; i < raw.size();) {
        const std::size_t amp = decode ? raw.find('&', i) : std::string_view::npos;
        texts_.append(raw.substr(i, amp == std::string_view::npos ? amp : amp - i));
        if (amp == std::string_view::npos) {
            break;
        }
        const std::size_t semi = raw.substr(amp + 1, kMaxReference + 1).find(';');
        if (semi != std::string_view::npos && DecodeReference(raw.substr(amp + 1, semi), texts_)) {
            i = amp + semi + 2;
        } else {
            texts_.push_back('&');  // a bare "&" or an unknown name: text as written
            i = amp + 1;
        }
    }
    Add(false, begin, static_cast<std::uint32_t>(texts_.size() - begin));
}

bool XmlDocument::Load(std::string_view text) {
    Clear();
    const auto refuse = [this](const char* why) {
        Clear();
        refusal_ = why;
        return false;
    };
    if (text.size() >= kNone / 2) {
        return refuse("text too large");
    }
    source_.assign(text);
    const std::string_view s = source_;
    bool rootSeen = false;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] != '<') {
            const std::size_t lt = s.find('<', i);
            AddText(s.substr(i, lt == std::string_view::npos ? lt : lt - i), true);
            i = lt == std::string_view::npos ? s.size() : lt;
            continue;
        }
        const std::string_view rest = s.substr(i);
        if (rest.substr(0, 4) == "<!--") {
            const std::size_t end = s.find("-->", i + 4);
            i = end == std::string_view::npos ? s.size() : end + 3;
        } else if (rest.substr(0, 9) == "<![CDATA[") {
            const std::size_t end = s.find("]]>", i + 9);
            AddText(s.substr(i + 9, end == std::string_view::npos ? end : end - i - 9), false);
            i = end == std::string_view::npos ? s.size() : end + 3;
        } else if (rest.substr(0, 2) == "<!") {
            // A document type could declare entities that expand without
            // bound; no router needs one.
            return refuse("document type or declaration refused");
        } else if (rest.substr(0, 2) == "<?") {
            const std::size_t end = s.find("?>", i + 2);
            i = end == std::string_view::npos ? s.size() : end + 2;
        } else if (rest.size() > 2 && rest[1] == '/' && IsNameStart(rest[2])) {
            std::size_t nameEnd = i + 2;
            while (nameEnd < s.size() && IsNameChar(s[nameEnd])) {
                ++nameEnd;
            }
            const std::string_view name = s.substr(i + 2, nameEnd - i - 2);
            // The nearest open element of that name ends, and with it any
            // left open inside it; an end tag that matches none is ignored.
            for (std::size_t k = open_.size(); k-- > 0;) {
                if (NameOf(items_[open_[k]]) == name) {
                    const auto end = static_cast<std::uint32_t>(items_.size());
                    while (open_.size() > k) {
                        items_[open_.back()].end = end;
                        open_.pop_back();
                    }
                    complete_ = complete_ || open_.empty();
                    break;
                }
            }
            const std::size_t gt = s.find_first_of("<>", nameEnd);
            i = gt == std::string_view::npos ? s.size() : gt + (s[gt] == '>' ? 1 : 0);
        } else if (rest.size() > 1 && IsNameStart(rest[1])) {
            const std::size_t gt = StartTagEnd(s, i + 1);
            if (gt == std::string_view::npos) {
                AddText("<", false);  // no tag after all
                ++i;
                continue;
            }
            std::size_t nameEnd = i + 1;
            while (nameEnd < gt && IsNameChar(s[nameEnd])) {
                ++nameEnd;
            }
            rootSeen = true;
            const std::uint32_t element = Add(true, static_cast<std::uint32_t>(i + 1),
                                              static_cast<std::uint32_t>(nameEnd - i - 1));
            if (s[gt - 1] != '/') {
                if (open_.size() == kMaxDepth) {
                    return refuse("elements nested too deep");
                }
                open_.push_back(element);
            } else if (open_.empty()) {
                complete_ = true;  // a top-level empty element
            }
            i = gt + 1;
        } else {
            AddText("<", false);  // "a < b" in a text
            ++i;
        }
    }
    // Elements still open when the text ends hold everything after them.
    for (const std::uint32_t k : open_) {
        items_[k].end = static_cast<std::uint32_t>(items_.size());
    }
    open_.clear();
    if (!rootSeen) {
        return refuse("no XML element");
    }
    return true;
}

std::string_view XmlDocument::NameOf(const Item& item) const {
    return item.element ? std::string_view(source_).substr(item.begin, item.size)
                        : std::string_view("#text");
}

std::vector<XmlDocument::Node> XmlDocument::ElementsByName(std::string_view name) const {
    return Elements(name, false);
}

std::vector<XmlDocument::Node> XmlDocument::ElementsByLocalName(std::string_view localName) const {
    return Elements(localName, true);
}

std::vector<XmlDocument::Node> XmlDocument::Elements(std::string_view name, bool local) const {
    std::vector<Node> found;
    for (std::size_t k = 0; k < items_.size(); ++k) {
        if (items_[k].element &&
            (local ? LocalName(NameOf(items_[k])) : NameOf(items_[k])) == name) {
            found.push_back(k);
        }
    }
    return found;
}

std::vector<XmlDocument::Node> XmlDocument::Children(Node node) const {
    std::vector<Node> children;
    if (node >= items_.size()) {
        return children;
    }
    for (std::uint32_t c = items_[node].firstChild; c != kNone; c = items_[c].next) {
        children.push_back(c);
    }
    return children;
}

std::string XmlDocument::Name(Node node) const {
    return node < items_.size() ? std::string(NameOf(items_[node])) : std::string();
}

std::string XmlDocument::Text(Node node, std::size_t limit) const {
    std::string text;
    if (node >= items_.size()) {
        return text;
    }
    // Items are kept in document order, so a subtree is one run of them.
    for (std::size_t k = node; k < items_[node].end && text.size() < limit; ++k) {
        if (!items_[k].element) {
            text.append(texts_, items_[k].begin,
                        std::min<std::size_t>(items_[k].size, limit - text.size()));
        }
    }
    return text;
}

}  // namespace upnp
