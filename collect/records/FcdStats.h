#pragma once

class XmlElement;

#include <cstdint>
#include <vector>

#include "FcdFields.h"
#include "FieldCodec.h"
#include "RecordTypes.h"

typedef struct _fcdData {
    uint32_t version;
    int32_t timestampCreated;
    int32_t timestampCompleted;
    uint32_t statsRpcStatus;
    uint32_t listRpcStatus;
    FCD_TOTAL_FIELDS(TOLM_DECLARE_FIELD)
} fcd_stats_data_t;

struct _fcdDiskStats {
    uint32_t diskType;
    uint32_t diskID;
    FCD_DISK_COUNTER_FIELDS(TOLM_DECLARE_FIELD)
};

// One sample of the node's FCD I/O counters with one entry per disk. Copies
// are deep.
class FcdStats {
public:
    FcdStats() {}
    // Reads one record from a local record file.
    explicit FcdStats(const char* path);
    explicit FcdStats(Deserializer& d);
    FcdStats(const FcdStats& other);
    FcdStats& operator=(const FcdStats& other);
    ~FcdStats();

    // Appends a disk; the record takes ownership.
    void addDiskStats(_fcdDiskStats* disk) { _disks.push_back(disk); }
    size_t size() const { return _disks.size(); }
    _fcdDiskStats& operator[](size_t i) { return *_disks.at(i); }

    void serialize(Serializer& s);
    // The same bytes through any writer with Serializer's calls: instantiated
    // for Serializer, FileBuffer and XdrBuffer's Counter and Words (a whole
    // record without virtual calls).
    template <class S>
    void serializeTo(S& s) const;
    // Appends the disks read to the list.
    void deserialize(Deserializer& d);
    void toXml(XmlRenderer& r);
    // Reads back what toXml wrote (with or without the zero statistics);
    // throws SerializationException on an element that is not that.
    void fromXml(const XmlElement& e);
    // Walks every value in record order (the JSON, rate and metrics forms).
    void visit(FieldVisitor& v) const;
    void dump();

    fcd_stats_data_t data;

private:
    void clear();

    std::vector<_fcdDiskStats*> _disks;
};
