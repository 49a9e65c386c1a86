#pragma once

class XmlElement;

#include <cstdint>
#include <vector>

#include "FieldCodec.h"
#include "LpFields.h"
#include "LpStats.h"
#include "RecordTypes.h"

typedef struct _lpStatsSetData {
    uint32_t version;
    int32_t timestampCreated;
    int32_t timestampCompleted;
    uint32_t listLpRpcStatus;
    uint32_t volStatRpcStatus;
    LPSET_GLOBAL_FIELDS(TOLM_DECLARE_FIELD)
} lpset_stats_data_t;

// One sample of the storage side: the node-wide counters and one LpStats per
// storage pool, each holding its volumes. Copies are deep.
class LpStatsSet {
public:
    LpStatsSet() {}
    // Reads one set from a local record file.
    explicit LpStatsSet(const char* path);
    explicit LpStatsSet(Deserializer& d);
    LpStatsSet(const LpStatsSet& other);
    LpStatsSet& operator=(const LpStatsSet& other);
    ~LpStatsSet();

    // Appends a pool; the set takes ownership.
    void addLpStats(LpStats* lp) { _pools.push_back(lp); }
    size_t size() const { return _pools.size(); }
    LpStats& operator[](size_t i) { return *_pools.at(i); }

    void serialize(Serializer& s);
    // The same bytes through any writer with Serializer's calls: instantiated
    // for Serializer, FileBuffer and XdrBuffer's Counter and Words (a whole
    // record without virtual calls).
    template <class S>
    void serializeTo(S& s) const;
    void deserialize(Deserializer& d);
    void toXml(XmlRenderer& r);
    // Reads back what toXml wrote (with or without the zero statistics);
    // throws SerializationException on an element that is not that.
    void fromXml(const XmlElement& e);
    // Walks every value in record order (the JSON, rate and metrics forms).
    void visit(FieldVisitor& v) const;
    void dump();

    lpset_stats_data_t data;

private:
    void clear();

    std::vector<LpStats*> _pools;
};

// Renders the node-wide counters as the "global" element.
void renderGlobal(XmlRenderer& r, lpset_stats_data_t& data);
