#pragma once

#include <string>
#include <vector>

#include "FieldVisitor.h"

// Builds the JSON form of one record from its values: one object whose
// members are the record's values under their own names, sub-records and keyed
// elements as member objects, a list's elements (pools, volumes, disks) as an
// array named by the element, a success/fail pair as an object of its two
// counts and a histogram as an array of all its counts. Numbers keep the
// signedness and width of their field; names are escaped as JSON requires
// (bytes that are not UTF-8 become \u00XX). Unless showZero, counters and
// gauges that are zero are left out, and so is an element left empty; statuses,
// identities and the record's own words always appear.
class JsonRenderer : public FieldVisitor {
  public:
    explicit JsonRenderer(bool showZero);

    void begin(const char* name, Shape shape, const char* key = nullptr) override;
    void end() override;
    void number(const char* name, FieldNumber v, FieldKind kind) override;
    void text(const char* name, const std::string& v, FieldKind kind) override;
    void counts(const char* name, const uint32_t* a, size_t n, FieldKind kind) override;

    // The finished object; call once, after the record's visit.
    std::string str();

    // `s` as a JSON string literal.
    static std::string quote(const std::string& s);
    static std::string numberText(FieldNumber v);

  private:
    struct Frame {
        std::string name;
        bool listItem = false;
        bool opened = false;    // its brace (and its name or array) written
        bool first = true;      // no member written in it yet
        std::string openArray;  // name of the list whose array is open in it
    };
    // Elements are written when their first value comes, so that an element
    // left empty does not appear.
    void open(size_t level);
    void member(const char* name);
    void separate(Frame& f);
    void closeArray(Frame& f);
    bool shown(bool zero, FieldKind kind) const;

    bool _showZero;
    std::string _out;
    std::vector<Frame> _stack;
};
