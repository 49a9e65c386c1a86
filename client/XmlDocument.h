#pragma once

#include <memory>
#include <string>
#include <vector>

#include "XmlElement.h"

// An XML file parsed by libxml2's reader into the element tree the record
// readers walk (elements and their attributes only). No network access, no
// external entities; a document nested deeper than 64 elements is refused.
class XmlDocument {
  public:
    // Parses the file open on `fd` (not closed here); throws
    // SerializationException with libxml2's message (and line) when the
    // bytes are no well-formed XML document.
    static XmlDocument parse(int fd, const std::string& shownName);

    const XmlElement& root() const;

    XmlDocument(XmlDocument&&) noexcept;
    ~XmlDocument();

  private:
    class Node;
    XmlDocument();

    std::unique_ptr<Node> _root;
};
