#pragma once

class XmlElement;

#include <cstdint>

#include "DbladeFields.h"
#include "FieldCodec.h"
#include "RecordTypes.h"

class Deserializer;
class Serializer;
class XmlRenderer;

#define DB_DECLARE_STRUCT(type, sname, FIELDS) \
    typedef struct sname {                     \
        FIELDS(TOLM_DECLARE_FIELD)             \
    } type;
DB_STRUCTS(DB_DECLARE_STRUCT)
#undef DB_DECLARE_STRUCT

#define DB_DECLARE_MEMBER(bit, member, type, FIELDS, Suffix) type member;
#define DB_DECLARE_LRU(bit, member) db_cache_controller_lru_data_t member;
#define DB_DECLARE_CPU(T, name, xmlName) T name;
typedef struct _dbData {
    uint32_t version;
    uint32_t mask;
    int32_t timestampCreated;
    int32_t timestampCompleted;
    DB_MEMBERS(DB_DECLARE_MEMBER, DB_DECLARE_LRU)
    DB_CPU_FIELDS(DB_DECLARE_CPU)
} dblade_data_t;
#undef DB_DECLARE_MEMBER
#undef DB_DECLARE_LRU
#undef DB_DECLARE_CPU

// The bit that selects the two CPU idle words.
constexpr unsigned int DB_CPU_BIT = 15;

// One sample of the counters the D-blade publishes. It has no text dump.
class DbladeStats {
public:
    DbladeStats() {}
    // Reads one record from a local record file.
    explicit DbladeStats(const char* path);

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

    dblade_data_t data;
};

#define DB_DECLARE_RENDER(bit, member, type, FIELDS, Suffix) \
    void render##Suffix(XmlRenderer& r, dblade_data_t& data);
#define DB_NO_RENDER(bit, member)
DB_MEMBERS(DB_DECLARE_RENDER, DB_NO_RENDER)
#undef DB_DECLARE_RENDER
#undef DB_NO_RENDER
// Renders one of the six cache-controller LRUs as an element named `name`.
void renderLru(XmlRenderer& r, const char* name, db_cache_controller_lru_data_t& lru);
