// The little of an XML DOM that the description reader needs. pugixml on
// Linux, MSXML (DOMDocument through COM) on Windows.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class XmlDocument {
public:
    // Handles stay valid for the life of the document.
    using Node = std::size_t;

    XmlDocument();
    ~XmlDocument();
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // Parses UTF-8 text. False when the parser cannot be had or the text is
    // not well-formed; the document is then empty.
    bool Load(const std::string& utf8);

    // All elements of this qualified name at any depth, in document order.
    std::vector<Node> ElementsByName(const std::string& name) const;
    // The same for a local name: whatever prefix an element carries.
    std::vector<Node> ElementsByLocalName(const std::string& localName) const;
    // The node's direct children in document order.
    std::vector<Node> Children(Node node) const;
    // The node's qualified name (prefix included).
    std::string Name(Node node) const;
    // A qualified name without its prefix ("dev:serviceType" -> "serviceType").
    static std::string LocalName(const std::string& qualifiedName) {
        const std::size_t colon = qualifiedName.find(':');
        return colon == std::string::npos ? qualifiedName : qualifiedName.substr(colon + 1);
    }
    // The concatenated text of the node and its descendants, UTF-8.
    std::string Text(Node node) const;

private:
    std::vector<Node> Elements(const std::string& name, bool local) const;

    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
