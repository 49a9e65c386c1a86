#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "XmlElement.h"

// Reads back what XmlRenderer wrote for one element of a record: the
// element's own attributes, then its children in the order they were
// written. A statistic ("<statistic name=N value=V/>", or with "succeeded"
// and "failed") is taken when it is the next child and has the name asked
// for; otherwise it was left out for being zero and reads as 0. Numbers are
// read as the renderer prints them: decimal, signed or not, or 0x-hex, and
// cut to the field's width. Anything malformed throws SerializationException
// naming the element and what is wrong; finish() refuses children left over
// (a statistic out of place or unknown).
class XmlRecordReader {
  public:
    explicit XmlRecordReader(const XmlElement& element);
    // Throws unless the record's root element is named `name`.
    static void expectRoot(const XmlElement& root, const char* name);

    // The element's attribute as a number or text; throws when missing.
    uint64_t attribute(const char* name) const;
    std::string text(const char* name) const;

    // The statistic `name` if it is next, else 0.
    void statistic(const char* name, uint32_t& v);
    void statistic(const char* name, int32_t& v);
    void statistic(const char* name, uint16_t& v);
    void statistic(const char* name, uint64_t& v);
    void statistic(const char* name, uint64_t& succeeded, uint64_t& failed);
    // An array of counts: the child element `name` with its "bucket"s.
    void counts(const char* name, uint32_t* a, size_t n);
    // True when the next child is the statistic `name` (the writer's choice
    // between a status and what it stands for).
    bool nextIsStatistic(const char* name) const;
    // The next child when it is an element `tag` (taken), else null.
    const XmlElement* child(const char* tag);
    // Throws when a child was not taken.
    void finish() const;

  private:
    // The next statistic's value attribute, when it is the statistic `name`.
    bool take(const char* name, const char* attr, uint64_t* v);
    [[noreturn]] void fail(const std::string& why) const;

    const XmlElement& _element;
    size_t _next = 0;
};

// A number as the renderer writes it; false for anything else.
bool parseXmlNumber(const std::string& text, uint64_t* v);
