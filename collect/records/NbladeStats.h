#pragma once

class XmlElement;

#include <cstdint>

#include "FieldCodec.h"
#include "NbladeFields.h"
#include "RecordTypes.h"

class Deserializer;
class Serializer;
class XmlRenderer;

typedef uint32_t bcp_histogram_t[60];

#define NB_DECLARE_STRUCT(bit, member, type, sname, FIELDS, Suffix) \
    typedef struct sname {                                            \
        FIELDS(TOLM_DECLARE_FIELD)                                    \
    } type;
NB_SUBRECORDS(NB_DECLARE_STRUCT)
#undef NB_DECLARE_STRUCT

#define NB_DECLARE_MEMBER(bit, member, type, sname, FIELDS, Suffix) type member;
typedef struct _nbladeData {
    uint32_t version;
    uint32_t mask;
    int32_t timestampCreated;
    int32_t timestampCompleted;
    NB_SUBRECORDS(NB_DECLARE_MEMBER)
    uint32_t _nfsStatsRpcStatus;
    uint32_t _cifsStatsRpcStatus;
} nblade_data_t;
#undef NB_DECLARE_MEMBER

// One sample of every counter the N-blade publishes.
class NbladeStats {
public:
    NbladeStats() {}
    // Reads one record from a local record file.
    explicit NbladeStats(const char* path);

    // Writes the sub-records selected by `mask` (every caller passes all ones).
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

    nblade_data_t data;
};

#define NB_DECLARE_RENDER(bit, member, type, sname, FIELDS, Suffix) \
    void render##Suffix(XmlRenderer& r, nblade_data_t& data);
NB_SUBRECORDS(NB_DECLARE_RENDER)
#undef NB_DECLARE_RENDER
