#include "DbladeStats.h"

#include <cstring>

#include "Deserializer.h"
#include "FileBuffer.h"
#include "FileDeserializer.h"
#include "SerializationException.h"
#include "Serializer.h"
#include "XdrBuffer.h"
#include "XmlRecordReader.h"
#include "XmlRenderer.h"

DbladeStats::DbladeStats(const char* path) {
    FileDeserializer d(path, 4096);
    deserialize(d);
}

namespace {
// The mask bits of every member, the CPU figures' included.
#define DB_MEMBER_BIT(bit, ...) | (1u << bit)
constexpr uint32_t kEveryMember = 0 DB_MEMBERS(DB_MEMBER_BIT, DB_MEMBER_BIT) | (1u << DB_CPU_BIT);
#undef DB_MEMBER_BIT
}  // namespace

template <class S>
void DbladeStats::serializeTo(S& s, unsigned int mask) const {
    s.write32(SER_DBLADE);
    s.write32(data.version);
    s.write32(mask);
    s.write32(static_cast<uint32_t>(data.timestampCreated));
    s.write32(static_cast<uint32_t>(data.timestampCompleted));
#define DB_PUT_MEMBER(bit, member, type, FIELDS, Suffix) \
    if (mask & (1u << bit)) {                            \
        auto& sub = data.member;                         \
        TOLM_PUT_FIELDS(FIELDS);                         \
    }
#define DB_PUT_LRU(bit, member)         \
    if (mask & (1u << bit)) {           \
        auto& sub = data.member;        \
        TOLM_PUT_FIELDS(DB_LRU_FIELDS); \
    }
    auto members = [this, mask](auto& s) {
        DB_MEMBERS(DB_PUT_MEMBER, DB_PUT_LRU)
        if (mask & (1u << DB_CPU_BIT)) {
            auto& sub = data;
            TOLM_PUT_FIELDS(DB_CPU_FIELDS);
        }
    };
#undef DB_PUT_MEMBER
#undef DB_PUT_LRU
    // A whole record (every member's bit set, as the collector writes it) goes
    // out as one plan; any other mask member by member.
    if ((mask & kEveryMember) == kEveryMember)
        fieldcodec::putPlanned(s, &data, members);
    else
        members(s);
}

void DbladeStats::serialize(Serializer& s, unsigned int mask) {
    serializeTo(s, mask);
}
template void DbladeStats::serializeTo<Serializer>(Serializer&, unsigned int) const;
template void DbladeStats::serializeTo<XdrBuffer::Counter>(XdrBuffer::Counter&, unsigned int) const;
template void DbladeStats::serializeTo<XdrBuffer::Words>(XdrBuffer::Words&, unsigned int) const;
template void DbladeStats::serializeTo<FileBuffer>(FileBuffer&, unsigned int) const;

void DbladeStats::deserialize(Deserializer& d) {
    if (d.read32() != SER_DBLADE)
        throw SerializationException("type is not SER_DBLADE", 0);
    data.version = d.read32();
    data.mask = d.read32();
    data.timestampCreated = static_cast<int32_t>(d.read32());
    data.timestampCompleted = static_cast<int32_t>(d.read32());
    const uint32_t mask = data.mask;
#define DB_GET_MEMBER(bit, member, type, FIELDS, Suffix) \
    if (mask & (1u << bit)) {                            \
        auto& sub = data.member;                         \
        TOLM_GET_FIELDS(FIELDS);                         \
    }
#define DB_GET_LRU(bit, member)         \
    if (mask & (1u << bit)) {           \
        auto& sub = data.member;        \
        TOLM_GET_FIELDS(DB_LRU_FIELDS); \
    }
    DB_MEMBERS(DB_GET_MEMBER, DB_GET_LRU)
#undef DB_GET_MEMBER
#undef DB_GET_LRU
    if (mask & (1u << DB_CPU_BIT)) {
        auto& sub = data;
        TOLM_GET_FIELDS(DB_CPU_FIELDS);
    }
}

#define DB_DEFINE_RENDER(bit, member, type, FIELDS, Suffix)    \
    void render##Suffix(XmlRenderer& r, dblade_data_t& data) { \
        auto& sub = data.member;                               \
        r.pushTag(#member, nullptr);                           \
        FIELDS(TOLM_XML_FIELD)                                 \
        r.popTag();                                            \
    }
#define DB_NO_RENDER(bit, member)
DB_MEMBERS(DB_DEFINE_RENDER, DB_NO_RENDER)
#undef DB_DEFINE_RENDER

void renderLru(XmlRenderer& r, const char* name, db_cache_controller_lru_data_t& sub) {
    r.pushTag(name, nullptr);
    DB_LRU_FIELDS(TOLM_XML_FIELD)
    r.popTag();
}

void DbladeStats::visit(FieldVisitor& v) const {
    using fieldcodec::num;
    v.number("version", num(data.version), FieldKind::Meta);
    v.number("mask", num(data.mask), FieldKind::Meta);
    v.number("created", num(data.timestampCreated), FieldKind::Meta);
    v.number("completed", num(data.timestampCompleted), FieldKind::Meta);
#define DB_VISIT_CPU(T, name, xmlName) v.number(#xmlName, num(data.name), FieldKind::Gauge);
    DB_CPU_FIELDS(DB_VISIT_CPU)
#undef DB_VISIT_CPU
#define DB_VISIT_SUB(bit, member, type, FIELDS, Suffix) \
    {                                                   \
        auto& sub = data.member;                        \
        v.begin(#member, FieldVisitor::Shape::Member);  \
        FIELDS(TOLM_VISIT_FIELD)                        \
        v.end();                                        \
    }
#define DB_VISIT_LRU(bit, member) DB_VISIT_SUB(bit, member, , DB_LRU_FIELDS, )
    DB_MEMBERS(DB_VISIT_SUB, DB_VISIT_LRU)
#undef DB_VISIT_SUB
#undef DB_VISIT_LRU
}

void DbladeStats::toXml(XmlRenderer& r) {
    XmlAttrs attrs;
    XmlRenderer::addAttr(attrs, "version", data.version);
    XmlRenderer::addAttrHex(attrs, "mask", data.mask);
    XmlRenderer::addAttr(attrs, "created", static_cast<unsigned int>(data.timestampCreated));
    XmlRenderer::addAttr(attrs, "completed", static_cast<unsigned int>(data.timestampCompleted));
    r.pushTag("dblade", &attrs);
#define DB_XML_CPU(T, name, xmlName) fieldcodec::xml(r, #xmlName, data.name);
    DB_CPU_FIELDS(DB_XML_CPU)
#undef DB_XML_CPU
#define DB_CALL_RENDER(bit, member, type, FIELDS, Suffix) render##Suffix(r, data);
#define DB_CALL_LRU(bit, member) renderLru(r, #member, data.member);
    DB_MEMBERS(DB_CALL_RENDER, DB_CALL_LRU)
#undef DB_CALL_RENDER
#undef DB_CALL_LRU
    r.popTag();
}

void DbladeStats::fromXml(const XmlElement& e) {
    XmlRecordReader::expectRoot(e, "dblade");
    XmlRecordReader x(e);
    memset(&data, 0, sizeof data);
    data.version = static_cast<uint32_t>(x.attribute("version"));
    data.mask = static_cast<uint32_t>(x.attribute("mask"));
    data.timestampCreated = static_cast<int32_t>(x.attribute("created"));
    data.timestampCompleted = static_cast<int32_t>(x.attribute("completed"));
#define DB_LOAD_CPU(T, name, xmlName) fieldcodec::load(x, #xmlName, data.name);
    DB_CPU_FIELDS(DB_LOAD_CPU)
#undef DB_LOAD_CPU
#define DB_LOAD_MEMBER(bit, member, type, FIELDS, Suffix) \
    TOLM_LOAD_ELEMENT(x, #member, data.member, FIELDS)
#define DB_LOAD_LRU(bit, member) TOLM_LOAD_ELEMENT(x, #member, data.member, DB_LRU_FIELDS)
    DB_MEMBERS(DB_LOAD_MEMBER, DB_LOAD_LRU)
#undef DB_LOAD_MEMBER
#undef DB_LOAD_LRU
    x.finish();
}
