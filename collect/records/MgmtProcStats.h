#pragma once

class XmlElement;

#include <cstdint>

#include "FieldCodec.h"
#include "MgmtProcFields.h"
#include "RecordTypes.h"

typedef struct _procStats {
    PROC_STATS_FIELDS(TOLM_DECLARE_FIELD)
} proc_stats_t;

#define MGMT_DECLARE_PROCESS(member, label) proc_stats_t member;
typedef struct _mgmtProcStats {
    uint32_t version;
    int32_t timestampCreated;
    MGMT_PROCESSES(MGMT_DECLARE_PROCESS)
} mgmt_proc_stats_t;
#undef MGMT_DECLARE_PROCESS

// The memory use of the node's five management processes at one moment.
class MgmtProcStats {
public:
    MgmtProcStats() {}
    // Reads one record from a local record file.
    explicit MgmtProcStats(const char* path);

    // The mask is taken for uniformity with the blade records; it changes nothing.
    void serialize(Serializer& s, unsigned int mask);
    // The same bytes through any writer with Serializer's calls: instantiated
    // for Serializer, FileBuffer and XdrBuffer's Counter and Words (a whole
    // record without virtual calls).
    template <class S>
    void serializeTo(S& s, unsigned int mask) const;
    void deserialize(Deserializer& d);
    void toXml(XmlRenderer& r);
    // Reads back what toXml wrote (with or without the zero statistics);
    // throws SerializationException on an element that is not that.
    void fromXml(const XmlElement& e);
    // Walks every value in record order (the JSON, rate and metrics forms).
    void visit(FieldVisitor& v) const;
    void dump();

    mgmt_proc_stats_t data;
};

// Renders one process as an element named `name`.
void renderStats(XmlRenderer& r, const char* name, proc_stats_t& stats);
