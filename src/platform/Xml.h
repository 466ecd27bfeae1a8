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
    // The node's direct children in document order.
    std::vector<Node> Children(Node node) const;
    // The node's qualified name (prefix included).
    std::string Name(Node node) const;
    // The concatenated text of the node and its descendants, UTF-8.
    std::string Text(Node node) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace platform
