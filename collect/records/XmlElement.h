#pragma once

#include <string>
#include <vector>

// One element of a parsed XML document, as the record readers walk it: its
// name, its attributes and its element children in document order (text and
// comments are not kept). The parser lives with the tools that read XML; the
// records only walk what it made.
class XmlElement {
  public:
    virtual ~XmlElement() = default;
    virtual const std::string& name() const = 0;
    // False when the element has no such attribute.
    virtual bool attribute(const char* name, std::string* value) const = 0;
    virtual const std::vector<const XmlElement*>& children() const = 0;
};
