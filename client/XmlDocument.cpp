#include "XmlDocument.h"

#include <map>

#include "SerializationException.h"
#include "XmlLibrary.h"

namespace {

constexpr int kMaxDepth = 64;

}  // namespace

class XmlDocument::Node : public XmlElement {
  public:
    const std::string& name() const override { return _name; }
    bool attribute(const char* name, std::string* value) const override {
        auto it = _attributes.find(name);
        if (it == _attributes.end())
            return false;
        *value = it->second;
        return true;
    }
    const std::vector<const XmlElement*>& children() const override { return _view; }

    std::string _name;
    std::map<std::string, std::string> _attributes;
    std::vector<std::unique_ptr<Node>> _children;
    std::vector<const XmlElement*> _view;
};

XmlDocument::XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument::~XmlDocument() = default;

const XmlElement& XmlDocument::root() const {
    return *_root;
}

XmlDocument XmlDocument::parse(int fd, const std::string& shownName) {
    const XmlLibrary& xml = XmlLibrary::get();
    xmlTextReaderPtr reader = xml.readerForFd(
        fd, shownName.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!reader)
        throw SerializationException("cannot start the XML reader", 0);
    XmlDocument doc;
    std::vector<Node*> open;  // the elements being filled, outermost first
    std::string error;
    int st;
    while ((st = xml.read(reader)) == 1) {
        int type = xml.nodeType(reader);
        if (type == XML_READER_TYPE_END_ELEMENT) {
            if (!open.empty())
                open.pop_back();
            continue;
        }
        if (type != XML_READER_TYPE_ELEMENT)
            continue;
        auto node = std::make_unique<Node>();
        node->_name = reinterpret_cast<const char*>(xml.constName(reader));
        bool empty = xml.isEmptyElement(reader) == 1;
        while (xml.moveToNextAttribute(reader) == 1)
            node->_attributes[reinterpret_cast<const char*>(xml.constName(reader))] =
                reinterpret_cast<const char*>(xml.constValue(reader));
        Node* made = node.get();
        if (open.empty()) {
            if (doc._root) {
                error = "a second root element";
                break;
            }
            doc._root = std::move(node);
        } else {
            open.back()->_view.push_back(made);
            open.back()->_children.push_back(std::move(node));
        }
        if (!empty) {
            if (open.size() == kMaxDepth) {
                error = "elements nested deeper than 64";
                break;
            }
            open.push_back(made);
        }
    }
    if (st < 0 && error.empty()) {
        const xmlError* e = xml.lastError();
        error = e && e->message ? e->message : "not well-formed";
        while (!error.empty() && error.back() == '\n')
            error.pop_back();
        if (e)
            error += " (line " + std::to_string(e->line) + ")";
    }
    xml.freeTextReader(reader);
    if (error.empty() && !doc._root)
        error = "no root element";
    if (!error.empty())
        throw SerializationException("not an XML record: " + error, 0);
    return doc;
}
