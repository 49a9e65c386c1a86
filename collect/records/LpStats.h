#pragma once

class XmlElement;

#include <cstdint>
#include <string>
#include <vector>

#include "FieldCodec.h"
#include "LpFields.h"
#include "VfsStats.h"

typedef struct _lpStatsData {
    uint32_t statsRpcStatus;
    unsigned char uuid[16];
    uint32_t state;
    LP_COUNTER_FIELDS(TOLM_DECLARE_FIELD)
} lp_stats_data_t;

// The counters of one storage pool; owns one VfsStats per volume of the pool.
class LpStats {
public:
    LpStats() {}
    LpStats(const LpStats& other);
    LpStats& operator=(const LpStats& other);
    ~LpStats();

    // Appends a volume; the pool takes ownership.
    void addVfsStats(VfsStats* vfs) { _vfs.push_back(vfs); }
    size_t size() const { return _vfs.size(); }
    VfsStats& operator[](size_t i) { return *_vfs.at(i); }

    void toXml(XmlRenderer& r);
    // Reads back what toXml wrote (with or without the zero statistics);
    // throws SerializationException on an element that is not that.
    void fromXml(const XmlElement& e);
    // Walks every value in record order (the JSON, rate and metrics forms).
    void visit(FieldVisitor& v) const;
    void dump();

    std::string name;
    lp_stats_data_t data;

private:
    friend class LpStatsSet;
    template <class S>
    void serializeTo(S& s) const;
    void deserialize(Deserializer& d);
    void clear();

    std::vector<VfsStats*> _vfs;
};
