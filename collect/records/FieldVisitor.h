#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What a value of a record is, for the readers that treat values differently
// (a rate is taken of counts only; an exporter labels by identities).
enum class FieldKind {
    Counter,   // a count that only grows until the node restarts
    Gauge,     // a level: goes up and down
    KibGauge,  // a level in kibibytes, as the kernel's status files give memory
    Status,    // the result of a fetch; 0 is success
    Identity,  // names the element it is in: a pool's name, a volume's id
    Meta,      // about the record itself: version, mask, times
};

// One number of a record with the signedness and width of its field.
struct FieldNumber {
    uint64_t bits;  // the value, sign-extended when signed
    bool isSigned;
    int width;  // 16, 32 or 64
};

// Walks every value of a record in record order. Elements nest: a sub-record
// ("bcp"), one element of a list ("lp", each pool; "vfs", each volume) or a
// keyed element ("tomcat", one of the processes, whose key names the label
// that tells them apart). A list element's identities come first in it.
// The values are the record's own; readers decide what to leave out.
class FieldVisitor {
  public:
    enum class Shape { Member, ListItem, Keyed };

    virtual ~FieldVisitor() = default;
    // Opens an element; `key` is the label name of a keyed element.
    virtual void begin(const char* name, Shape shape, const char* key = nullptr) = 0;
    virtual void end() = 0;
    virtual void number(const char* name, FieldNumber v, FieldKind kind) = 0;
    virtual void text(const char* name, const std::string& v, FieldKind kind) = 0;
    // A fixed array of counts (a histogram), indexed from 0.
    virtual void counts(const char* name, const uint32_t* a, size_t n, FieldKind kind) = 0;
};
