#pragma once

#include <string>
#include <utility>
#include <vector>

#include "FieldVisitor.h"

typedef std::vector<std::pair<std::string, std::string>> ValueLabels;

// One value of a record, flattened: its dotted name ("cifs.TolmGetAttr",
// "lp.vfs.volopReadCount", "nfs3.null.succeeded") and the labels that tell it
// apart from the values of the same name (a pool's "lp_name" and "lp_uuid", a
// volume's "vfsid", a disk's "disk_id" and "disk_type", a process, a
// histogram's "bucket").
struct RecordValue {
    std::string name;
    ValueLabels labels;
    FieldKind kind;
    FieldNumber value;

    // "name{a=x,b=y}", or the name alone without labels.
    std::string display() const;
};

// Flattens a record's values in record order. Identities become labels of
// the values of their element: named by the identity when its name begins
// with the element's ("vfsid"), else "<element>_<identity>"; a keyed element
// gives its key as the label name and its own name as the value.
class RecordValues : public FieldVisitor {
  public:
    RecordValues() = default;
    // Keeps only the values whose dotted name is one of `names` (which must
    // outlive the visit): what csv and plot need of a record, without the
    // cost of the hundreds of others.
    explicit RecordValues(const std::vector<std::string>& names) : _only(&names) {}

    void begin(const char* name, Shape shape, const char* key = nullptr) override;
    void end() override;
    void number(const char* name, FieldNumber v, FieldKind kind) override;
    void text(const char* name, const std::string& v, FieldKind kind) override;
    void counts(const char* name, const uint32_t* a, size_t n, FieldKind kind) override;

    std::vector<RecordValue> values;

  private:
    struct Frame {
        std::string name;
        size_t prefixLength;  // of _prefix when the element began
        size_t labelCount;    // labels in force when the element began
    };
    std::string path(const char* name) const { return _prefix + name; }
    // Whether the value `name` of the element being visited is kept.
    bool wanted(const char* name) const;
    void identity(const char* name, const std::string& v);

    const std::vector<std::string>* _only = nullptr;
    std::vector<Frame> _stack;
    std::string _prefix;  // the dotted names of the elements being visited, each with its '.'
    ValueLabels _labels;
};
