// A small, tolerant XML reader for what routers send: device descriptions
// and SOAP answers. Routers write XML that is not well formed in places
// nobody reads (a bare "&" in a manufacturer's name, an unclosed tag inside a
// friendly name), so the reader takes what it can: unknown or mismatched end
// tags are ignored, an element left open is closed by an end tag of one of
// its ancestors, a "&" that starts no known reference is text. It never
// expands anything beyond the five predefined entities and character
// references: a document type or entity declaration refuses the whole text.
// One pass, no recursion; the work is linear in the size of the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace upnp {

class XmlDocument {
public:
    using Node = std::size_t;  // valid for the life of the loaded text

    // Elements open at once beyond this refuse the text: descriptions are a
    // handful of levels deep, and the limit bounds the end-tag search.
    static constexpr std::size_t kMaxDepth = 256;

    // Reads `text` (UTF-8 or any ASCII-compatible bytes). False when it holds
    // no element, a declaration (<!DOCTYPE, <!ENTITY...) or nesting deeper
    // than kMaxDepth; the document is then empty and Refusal() says why.
    bool Load(std::string_view text);
    // Why the last Load failed; empty after a success.
    const std::string& Refusal() const { return refusal_; }
    // True when an element at the top closed with its own end tag: the text
    // was not cut short inside it. (Further top-level elements are read too.)
    bool Complete() const { return complete_; }

    // All elements of this qualified name at any depth, in document order.
    std::vector<Node> ElementsByName(std::string_view name) const;
    // The same for a local name: whatever prefix an element carries.
    std::vector<Node> ElementsByLocalName(std::string_view localName) const;
    // The node's direct children (elements and text) in document order.
    std::vector<Node> Children(Node node) const;
    // An element's qualified name, as written; "#text" for text.
    std::string Name(Node node) const;
    // The concatenated, decoded text of the node and its descendants; at
    // most `limit` bytes of it.
    std::string Text(Node node, std::size_t limit = std::string::npos) const;

    // A qualified name without its prefix ("dev:serviceType" -> "serviceType").
    static std::string_view LocalName(std::string_view qualifiedName) {
        const std::size_t colon = qualifiedName.rfind(':');
        return colon == std::string_view::npos ? qualifiedName : qualifiedName.substr(colon + 1);
    }

private:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    struct Item {
        bool element = false;
        std::uint32_t begin = 0;  // name in source_, or text in texts_
        std::uint32_t size = 0;
        std::uint32_t parent = kNone;
        std::uint32_t firstChild = kNone;
        std::uint32_t lastChild = kNone;
        std::uint32_t next = kNone;
        std::uint32_t end = 0;  // one past the last item of the subtree
    };

    void Clear();
    std::uint32_t Add(bool element, std::uint32_t begin, std::uint32_t size);
    void AddText(std::string_view raw, bool decode);
    std::string_view NameOf(const Item& item) const;
    std::vector<Node> Elements(std::string_view name, bool local) const;

    std::string source_;
    std::string texts_;
    std::vector<Item> items_;
    std::vector<std::uint32_t> open_;
    std::string refusal_;
    bool complete_ = false;
};

}  // namespace upnp
