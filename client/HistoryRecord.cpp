#include "HistoryRecord.h"

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"

namespace {

const char* const kNames[] = {"nblade", "dblade", "lp", "fcd", "mgmtproc"};

template <typename R, RecordType T>
class RecordOf : public HistoryRecord {
  public:
    RecordType type() const override { return T; }
    int32_t created() const override { return _rec.data.timestampCreated; }
    void deserialize(Deserializer& d) override { _rec.deserialize(d); }
    void fromXml(const XmlElement& root) override { _rec.fromXml(root); }
    void visit(FieldVisitor& v) const override { _rec.visit(v); }
    void toXml(XmlRenderer& r) override { _rec.toXml(r); }
    bool hasDump() const override { return T != RecordType::Dblade; }
    void dump() override { dumpOf(_rec); }

  private:
    template <typename X>
    static void dumpOf(X& r) {
        r.dump();
    }
    static void dumpOf(DbladeStats&) {}

    R _rec;
};

}  // namespace

const char* recordTypeName(RecordType type) {
    return kNames[static_cast<int>(type)];
}

bool recordTypeOf(const std::string& name, RecordType* type) {
    for (RecordType t : kRecordTypes)
        if (name == recordTypeName(t)) {
            *type = t;
            return true;
        }
    return false;
}

std::unique_ptr<HistoryRecord> HistoryRecord::make(RecordType type) {
    switch (type) {
        case RecordType::Nblade:
            return std::make_unique<RecordOf<NbladeStats, RecordType::Nblade>>();
        case RecordType::Dblade:
            return std::make_unique<RecordOf<DbladeStats, RecordType::Dblade>>();
        case RecordType::Lp:
            return std::make_unique<RecordOf<LpStatsSet, RecordType::Lp>>();
        case RecordType::Fcd:
            return std::make_unique<RecordOf<FcdStats, RecordType::Fcd>>();
        case RecordType::MgmtProc:
            break;
    }
    return std::make_unique<RecordOf<MgmtProcStats, RecordType::MgmtProc>>();
}
