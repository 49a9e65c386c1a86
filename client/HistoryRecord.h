#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "Deserializer.h"
#include "FieldVisitor.h"
#include "XmlElement.h"
#include "XmlRenderer.h"

// The five record types of a snapshot.
enum class RecordType { Nblade, Dblade, Lp, Fcd, MgmtProc };
constexpr RecordType kRecordTypes[] = {RecordType::Nblade, RecordType::Dblade, RecordType::Lp,
                                       RecordType::Fcd, RecordType::MgmtProc};

// "nblade", "dblade", "lp", "fcd", "mgmtproc": the name the tools take and
// the name of the record's binary file in a snapshot directory.
const char* recordTypeName(RecordType type);
// The type of such a name; false for any other text.
bool recordTypeOf(const std::string& name, RecordType* type);

// One record of any type, as the history sources hand it out: read from its
// binary or XML form, walked by its field list, printed in its forms.
class HistoryRecord {
  public:
    virtual ~HistoryRecord() = default;
    // An empty record of `type`, to be read into.
    static std::unique_ptr<HistoryRecord> make(RecordType type);

    virtual RecordType type() const = 0;
    // The record's own "created" stamp: when its collection began.
    virtual int32_t created() const = 0;
    // Reads the record's binary form (file or XDR); throws
    // SerializationException on damaged bytes.
    virtual void deserialize(Deserializer& d) = 0;
    // Reads the record's XML form (with or without its zero statistics);
    // throws SerializationException on an element that is not that.
    virtual void fromXml(const XmlElement& root) = 0;
    virtual void visit(FieldVisitor& v) const = 0;
    virtual void toXml(XmlRenderer& r) = 0;
    // D-blade records have no text dump.
    virtual bool hasDump() const = 0;
    virtual void dump() = 0;
};
