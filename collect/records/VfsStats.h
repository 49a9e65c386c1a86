#pragma once

class XmlElement;

#include <cstdint>

#include "FieldCodec.h"
#include "LpFields.h"

class Deserializer;
class Serializer;
class XmlRenderer;

typedef struct _vfsStatsData {
    uint32_t statsRpcStatus;
    uint32_t vfsid;
    VFS_COUNTER_FIELDS(TOLM_DECLARE_FIELD)
} vfs_stats_data_t;

// The counters of one VFS (volume) of a storage pool.
class VfsStats {
public:
    VfsStats() {}
    explicit VfsStats(const vfs_stats_data_t* d) : data(*d) {}

    void toXml(XmlRenderer& r);
    // Reads back what toXml wrote (with or without the zero statistics);
    // throws SerializationException on an element that is not that.
    void fromXml(const XmlElement& e);
    // Walks every value in record order (the JSON, rate and metrics forms).
    void visit(FieldVisitor& v) const;
    void dump();

    vfs_stats_data_t data;

    // The XDR words of every volume: its status and id, then its counters.
    static constexpr size_t kXdrWords = 2 + (0 VFS_COUNTER_FIELDS(TOLM_XDR_WORDS_FIELD));

private:
    friend class LpStats;
    // Only a pool writes and reads its volumes: no tag, no name.
    template <class S>
    void serializeTo(S& s) const;
    // A volume's status, its id, then its counters.
    template <class S>
    static void putFields(S& s, const vfs_stats_data_t& sub) {
        fieldcodec::putField(s, sub.statsRpcStatus);
        fieldcodec::putField(s, sub.vfsid);
        TOLM_PUT_FIELDS(VFS_COUNTER_FIELDS);
    }
    // The plan of a volume's data, for writing all of a pool's at once.
    static const FieldRuns& plan();
    void deserialize(Deserializer& d);
};
