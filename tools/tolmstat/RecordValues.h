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
    void begin(const char* name, Shape shape, const char* key = nullptr) override;
    void end() override;
    void number(const char* name, FieldNumber v, FieldKind kind) override;
    void text(const char* name, const std::string& v, FieldKind kind) override;
    void counts(const char* name, const uint32_t* a, size_t n, FieldKind kind) override;

    std::vector<RecordValue> values;

  private:
    struct Frame {
        std::string name;
        bool inPath;
        size_t labelCount;  // labels in force when the element began
    };
    std::string path(const char* name) const;
    void identity(const char* name, const std::string& v);

    std::vector<Frame> _stack;
    ValueLabels _labels;
};
