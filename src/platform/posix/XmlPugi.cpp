// The XML reader over pugixml. pugixml never expands entity declarations, and
// its parser does not recurse on nesting; the walks here are iterative too,
// so hostile documents cost time in proportion to their size, not stack.

#include <cstdint>
#include <pugixml.hpp>
#include <string_view>

#include "platform/Xml.h"

namespace platform {

namespace {

// Descriptions are a handful of levels deep. The Windows reader is told the
// same limit, so that both accept the same documents.
constexpr int kMaxDepth = 256;

XmlDocument::Node ToHandle(pugi::xml_node n) {
    return reinterpret_cast<std::uintptr_t>(n.internal_object());
}

pugi::xml_node FromHandle(XmlDocument::Node h) {
    return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(h));
}

// The node after `n` in document order within the subtree of `root`, or an
// empty node at its end. `depth` follows the moves.
pugi::xml_node NextInSubtree(pugi::xml_node n, pugi::xml_node root, int& depth) {
    if (n.first_child()) {
        ++depth;
        return n.first_child();
    }
    while (n != root) {
        if (n.next_sibling()) {
            return n.next_sibling();
        }
        n = n.parent();
        --depth;
    }
    return pugi::xml_node();
}

// pugixml keeps a reference to an undeclared entity as text; XML calls it
// an error (and with the document type refused, only the predefined entities
// and character references are declared).
bool ReferencesDeclared(std::string_view raw) {
    for (std::size_t amp = raw.find('&'); amp != std::string_view::npos;
         amp = raw.find('&', amp + 1)) {
        const std::size_t semi = raw.find(';', amp);
        if (semi == std::string_view::npos) {
            return false;
        }
        const std::string_view name = raw.substr(amp + 1, semi - amp - 1);
        if (name == "amp" || name == "lt" || name == "gt" || name == "quot" || name == "apos") {
            continue;
        }
        std::size_t digits = 1;
        bool hex = false;
        if (name.size() >= 2 && name[0] == '#' && (name[1] == 'x')) {
            digits = 2;
            hex = true;
        }
        if (name.empty() || name[0] != '#' || name.size() <= digits) {
            return false;
        }
        for (char c : name.substr(digits)) {
            const bool ok = (c >= '0' && c <= '9') ||
                            (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')));
            if (!ok) {
                return false;
            }
        }
    }
    return true;
}

// Parsed once without decoding references, to see them as written.
bool AllReferencesDeclared(const std::string& utf8, unsigned options) {
    pugi::xml_document raw;
    if (!raw.load_buffer(utf8.data(), utf8.size(), options & ~pugi::parse_escapes,
                         pugi::encoding_utf8)) {
        return false;
    }
    const pugi::xml_node root = raw;
    int depth = 0;
    for (pugi::xml_node n = root.first_child(); n; n = NextInSubtree(n, root, depth)) {
        if (n.type() == pugi::node_pcdata && !ReferencesDeclared(n.value())) {
            return false;
        }
        for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute()) {
            if (!ReferencesDeclared(a.value())) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

struct XmlDocument::Impl {
    pugi::xml_document document;
};

XmlDocument::XmlDocument() : impl_(new Impl) {}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Load(const std::string& utf8) {
    pugi::xml_document& d = impl_->document;
    d.reset();
    // As a fragment, text outside the root element stays visible and can be
    // refused below; the document type is kept only to be refused, so that
    // a document with a DTD fails here as it does on Windows.
    const unsigned options = pugi::parse_default | pugi::parse_fragment | pugi::parse_doctype;
    if (!d.load_buffer(utf8.data(), utf8.size(), options, pugi::encoding_utf8) ||
        (utf8.find('&') != std::string::npos && !AllReferencesDeclared(utf8, options))) {
        d.reset();
        return false;
    }
    int roots = 0;
    bool ok = true;
    for (pugi::xml_node n = d.first_child(); n; n = n.next_sibling()) {
        switch (n.type()) {
            case pugi::node_element:
                ++roots;
                break;
            case pugi::node_comment:
            case pugi::node_pi:
            case pugi::node_declaration:
                break;
            default:  // text, CDATA or a document type outside the root
                ok = false;
        }
    }
    int depth = 0;
    for (pugi::xml_node n = d.first_child(); ok && n; n = NextInSubtree(n, d, depth)) {
        if (depth >= kMaxDepth) {
            ok = false;
        }
    }
    if (!ok || roots != 1) {
        d.reset();
        return false;
    }
    return true;
}

std::vector<XmlDocument::Node> XmlDocument::ElementsByName(const std::string& name) const {
    return Elements(name, false);
}

std::vector<XmlDocument::Node> XmlDocument::ElementsByLocalName(
    const std::string& localName) const {
    return Elements(localName, true);
}

std::vector<XmlDocument::Node> XmlDocument::Elements(const std::string& name, bool local) const {
    std::vector<Node> found;
    const pugi::xml_node root = impl_->document;
    int depth = 0;
    for (pugi::xml_node n = root.first_child(); n; n = NextInSubtree(n, root, depth)) {
        if (n.type() == pugi::node_element &&
            name == (local ? LocalName(n.name()) : std::string(n.name()))) {
            found.push_back(ToHandle(n));
        }
    }
    return found;
}

std::vector<XmlDocument::Node> XmlDocument::Children(Node node) const {
    std::vector<Node> children;
    for (pugi::xml_node c = FromHandle(node).first_child(); c; c = c.next_sibling()) {
        children.push_back(ToHandle(c));
    }
    return children;
}

std::string XmlDocument::Name(Node node) const {
    const pugi::xml_node n = FromHandle(node);
    switch (n.type()) {
        case pugi::node_pcdata:
            return "#text";
        case pugi::node_cdata:
            return "#cdata-section";
        case pugi::node_comment:
            return "#comment";
        default:
            return n.name();
    }
}

std::string XmlDocument::Text(Node node) const {
    const pugi::xml_node root = FromHandle(node);
    std::string text;
    int depth = 0;
    for (pugi::xml_node n = root; n; n = NextInSubtree(n, root, depth)) {
        if (n.type() == pugi::node_pcdata || n.type() == pugi::node_cdata) {
            text += n.value();
        }
    }
    return text;
}

}  // namespace platform
