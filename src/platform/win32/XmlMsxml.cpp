// The XML reader over MSXML's DOMDocument, reached through COM. Every
// failure ends in a false Load or an empty result; nothing is thrown.

#include <windows.h>

#include <msxml2.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "platform/Xml.h"
#include "platform/win32/Utf16.h"
#include "text/Text.h"

namespace platform {

namespace {

// DOMDocument ("Microsoft.XMLDOM", MSXML 3) and the interfaces used, spelt
// out so that no header's choice of class (msxml2.h maps DOMDocument to
// DOMDocument2) decides which one is created.
const CLSID kClsidDomDocument = {
    0x2933BF90, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidDomDocument = {
    0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// Descriptions are a handful of levels deep; pugixml's reader has the same limit.
constexpr long kMaxDepth = 256;

// A BSTR that frees itself.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const std::wstring& s)
        : value_(SysAllocStringLen(s.data(), static_cast<UINT>(s.size()))) {}
    ~Bstr() { SysFreeString(value_); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    BSTR* Out() {
        SysFreeString(value_);
        value_ = nullptr;
        return &value_;
    }
    BSTR Get() const { return value_; }
    std::string Utf8() const { return Narrow(value_, SysStringLen(value_)); }

private:
    BSTR value_ = nullptr;
};

template <typename T>
void Release(T*& p) {
    if (p != nullptr) {
        p->Release();
        p = nullptr;
    }
}

void SetProperty(IXMLDOMDocument* doc, const wchar_t* name, VARIANT value) {
    IXMLDOMDocument2* doc2 = nullptr;
    if (SUCCEEDED(doc->QueryInterface(kIidDomDocument2, reinterpret_cast<void**>(&doc2))) &&
        doc2 != nullptr) {
        Bstr n{std::wstring(name)};
        doc2->setProperty(n.Get(), value);  // older versions may not know it
        doc2->Release();
    }
}

}  // namespace

struct XmlDocument::Impl {
    bool comStarted = false;
    IXMLDOMDocument* document = nullptr;
    std::vector<IXMLDOMNode*> nodes;  // a handle is an index here

    void Reset() {
        for (IXMLDOMNode*& n : nodes) {
            Release(n);
        }
        nodes.clear();
        Release(document);
    }

    // Takes over `node`'s reference.
    Node Keep(IXMLDOMNode* node) {
        nodes.push_back(node);
        return nodes.size() - 1;
    }

    IXMLDOMNode* At(Node h) const { return h < nodes.size() ? nodes[h] : nullptr; }

    void TakeList(IXMLDOMNodeList* list, std::vector<Node>& out) {
        long length = 0;
        if (list == nullptr || FAILED(list->get_length(&length))) {
            return;
        }
        for (long i = 0; i < length; ++i) {
            IXMLDOMNode* item = nullptr;
            if (SUCCEEDED(list->get_item(i, &item)) && item != nullptr) {
                out.push_back(Keep(item));
            }
        }
    }
};

XmlDocument::XmlDocument() : impl_(new Impl) {
    // The one place the program starts COM, for as long as the document
    // lives; where the thread had started it already, this balances itself.
    // Without COM, Load fails and the run reports a failed description.
    const HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    impl_->comStarted = SUCCEEDED(hr);
}

XmlDocument::~XmlDocument() {
    impl_->Reset();
    if (impl_->comStarted) {
        CoUninitialize();
    }
}

bool XmlDocument::Load(const std::string& utf8) {
    try {
        impl_->Reset();
        IXMLDOMDocument* doc = nullptr;
        if (FAILED(CoCreateInstance(kClsidDomDocument, nullptr, CLSCTX_INPROC_SERVER,
                                    kIidDomDocument, reinterpret_cast<void**>(&doc))) ||
            doc == nullptr) {
            return false;
        }
        impl_->document = doc;
        doc->put_async(VARIANT_FALSE);
        doc->put_resolveExternals(VARIANT_FALSE);
        doc->put_validateOnParse(VARIANT_FALSE);
        VARIANT yes;
        VariantInit(&yes);
        yes.vt = VT_BOOL;
        yes.boolVal = VARIANT_TRUE;
        SetProperty(doc, L"ProhibitDTD", yes);
        VARIANT depth;
        VariantInit(&depth);
        depth.vt = VT_I4;
        depth.lVal = kMaxDepth;
        SetProperty(doc, L"MaxElementDepth", depth);

        // The text ends at its first zero byte, as a C string would.
        const Bstr text(Widen(std::string(text::CutAtZero(utf8))));
        VARIANT_BOOL loaded = VARIANT_FALSE;
        if (FAILED(doc->loadXML(text.Get(), &loaded)) || loaded != VARIANT_TRUE) {
            impl_->Reset();
            return false;
        }
        // Where the document type was not prohibited outright, it is refused
        // here, as the other reader refuses it.
        IXMLDOMDocumentType* type = nullptr;
        if (SUCCEEDED(doc->get_doctype(&type)) && type != nullptr) {
            type->Release();
            impl_->Reset();
            return false;
        }
        IXMLDOMElement* root = nullptr;
        if (FAILED(doc->get_documentElement(&root)) || root == nullptr) {
            impl_->Reset();
            return false;
        }
        root->Release();
        return true;
    } catch (...) {
        impl_->Reset();
        return false;
    }
}

std::vector<XmlDocument::Node> XmlDocument::ElementsByName(const std::string& name) const {
    return Elements(name, false);
}

std::vector<XmlDocument::Node> XmlDocument::ElementsByLocalName(
    const std::string& localName) const {
    return Elements(localName, true);
}

std::vector<XmlDocument::Node> XmlDocument::Elements(const std::string& name, bool local) const {
    // A walk of our own rather than getElementsByTagName, whose matching of
    // prefixed names differs between implementations: the qualified name is
    // what counts. Iterative, in document order; it ends when the climb
    // reaches the document, which has neither sibling nor parent.
    std::vector<Node> found;
    try {
        if (impl_->document == nullptr) {
            return found;
        }
        IXMLDOMNode* n = nullptr;
        if (FAILED(impl_->document->get_firstChild(&n))) {
            n = nullptr;
        }
        while (n != nullptr) {
            DOMNodeType type = NODE_INVALID;
            Bstr nodeName;
            if (SUCCEEDED(n->get_nodeType(&type)) && type == NODE_ELEMENT &&
                SUCCEEDED(n->get_nodeName(nodeName.Out())) &&
                (local ? LocalName(nodeName.Utf8()) : nodeName.Utf8()) == name) {
                n->AddRef();
                found.push_back(impl_->Keep(n));
            }
            IXMLDOMNode* next = nullptr;
            if (FAILED(n->get_firstChild(&next))) {
                next = nullptr;
            }
            IXMLDOMNode* up = n;
            while (next == nullptr && up != nullptr) {
                if (FAILED(up->get_nextSibling(&next))) {
                    next = nullptr;
                }
                if (next != nullptr) {
                    break;
                }
                IXMLDOMNode* parent = nullptr;
                if (FAILED(up->get_parentNode(&parent))) {
                    parent = nullptr;
                }
                up->Release();
                up = parent;
            }
            Release(up);
            n = next;
        }
    } catch (...) {
        found.clear();
    }
    return found;
}

std::vector<XmlDocument::Node> XmlDocument::Children(Node node) const {
    std::vector<Node> children;
    try {
        IXMLDOMNode* n = impl_->At(node);
        IXMLDOMNodeList* list = nullptr;
        if (n != nullptr && SUCCEEDED(n->get_childNodes(&list))) {
            impl_->TakeList(list, children);
        }
        Release(list);
    } catch (...) {
        children.clear();
    }
    return children;
}

std::string XmlDocument::Name(Node node) const {
    try {
        IXMLDOMNode* n = impl_->At(node);
        Bstr name;
        if (n != nullptr && SUCCEEDED(n->get_nodeName(name.Out()))) {
            return name.Utf8();
        }
    } catch (...) {
    }
    return std::string();
}

std::string XmlDocument::Text(Node node) const {
    try {
        IXMLDOMNode* n = impl_->At(node);
        Bstr text;
        if (n != nullptr && SUCCEEDED(n->get_text(text.Out()))) {
            return text.Utf8();
        }
    } catch (...) {
    }
    return std::string();
}

}  // namespace platform
