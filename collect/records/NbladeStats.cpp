#include "NbladeStats.h"

#include <cstring>

#include "Deserializer.h"
#include "FileBuffer.h"
#include "FileDeserializer.h"
#include "SerializationException.h"
#include "Serializer.h"
#include "XdrBuffer.h"
#include "XmlRecordReader.h"
#include "XmlRenderer.h"

NbladeStats::NbladeStats(const char* path) {
    FileDeserializer d(path, 4096);
    deserialize(d);
}

namespace {
// The mask bits of every sub-record.
#define NB_SUB_BIT(bit, ...) | (1u << bit)
constexpr uint32_t kEverySubrecord = 0 NB_SUBRECORDS(NB_SUB_BIT);
#undef NB_SUB_BIT
}  // namespace

template <class S>
void NbladeStats::serializeTo(S& s, unsigned int mask) const {
    s.write32(SER_NBLADE);
    s.write32(data.version);
    // The mask word written is the argument, not the record's own field.
    s.write32(mask);
    s.write32(static_cast<uint32_t>(data.timestampCreated));
    s.write32(static_cast<uint32_t>(data.timestampCompleted));
#define NB_PUT_SUB(bit, member, type, sname, FIELDS, Suffix) \
    if (mask & (1u << bit)) {                                \
        auto& sub = data.member;                             \
        TOLM_PUT_FIELDS(FIELDS);                             \
    }
    auto rest = [this, mask](auto& s) {
        NB_SUBRECORDS(NB_PUT_SUB)
        fieldcodec::putField(s, data._nfsStatsRpcStatus);
        fieldcodec::putField(s, data._cifsStatsRpcStatus);
    };
#undef NB_PUT_SUB
    // A whole record (every sub-record's bit set) goes out as one plan; any
    // other mask sub-record by sub-record.
    if ((mask & kEverySubrecord) == kEverySubrecord)
        fieldcodec::putPlanned(s, &data, rest);
    else
        rest(s);
}

void NbladeStats::serialize(Serializer& s, unsigned int mask) {
    serializeTo(s, mask);
}
template void NbladeStats::serializeTo<Serializer>(Serializer&, unsigned int) const;
template void NbladeStats::serializeTo<XdrBuffer::Counter>(XdrBuffer::Counter&, unsigned int) const;
template void NbladeStats::serializeTo<XdrBuffer::Words>(XdrBuffer::Words&, unsigned int) const;
template void NbladeStats::serializeTo<FileBuffer>(FileBuffer&, unsigned int) const;

void NbladeStats::deserialize(Deserializer& d) {
    if (d.read32() != SER_NBLADE)
        throw SerializationException("type is not SER_NBLADE", 0);
    data.version = d.read32();
    data.mask = d.read32();
    data.timestampCreated = static_cast<int32_t>(d.read32());
    data.timestampCompleted = static_cast<int32_t>(d.read32());
    const uint32_t mask = data.mask;
#define NB_GET_SUB(bit, member, type, sname, FIELDS, Suffix) \
    if (mask & (1u << bit)) {                                \
        auto& sub = data.member;                             \
        TOLM_GET_FIELDS(FIELDS);                             \
    }
    NB_SUBRECORDS(NB_GET_SUB)
#undef NB_GET_SUB
    data._nfsStatsRpcStatus = d.read32();
    data._cifsStatsRpcStatus = d.read32();
}

#define NB_DEFINE_RENDER(bit, member, type, sname, FIELDS, Suffix) \
    void render##Suffix(XmlRenderer& r, nblade_data_t& data) {     \
        auto& sub = data.member;                                   \
        r.pushTag(#member, nullptr);                               \
        FIELDS(TOLM_XML_FIELD)                                     \
        r.popTag();                                                \
    }
NB_SUBRECORDS(NB_DEFINE_RENDER)
#undef NB_DEFINE_RENDER

void NbladeStats::toXml(XmlRenderer& r) {
    XmlAttrs attrs;
    XmlRenderer::addAttr(attrs, "version", data.version);
    XmlRenderer::addAttrHex(attrs, "mask", data.mask);
    XmlRenderer::addAttr(attrs, "created", static_cast<unsigned int>(data.timestampCreated));
    XmlRenderer::addAttr(attrs, "completed", static_cast<unsigned int>(data.timestampCompleted));
    r.pushTag("nblade", &attrs);
    r.renderAttribute("_nfsStatsRpcStatus", data._nfsStatsRpcStatus);
    r.renderAttribute("_cifsStatsRpcStatus", data._cifsStatsRpcStatus);
#define NB_CALL_RENDER(bit, member, type, sname, FIELDS, Suffix) render##Suffix(r, data);
    NB_SUBRECORDS(NB_CALL_RENDER)
#undef NB_CALL_RENDER
    r.popTag();
}

void NbladeStats::visit(FieldVisitor& v) const {
    using fieldcodec::num;
    v.number("version", num(data.version), FieldKind::Meta);
    v.number("mask", num(data.mask), FieldKind::Meta);
    v.number("created", num(data.timestampCreated), FieldKind::Meta);
    v.number("completed", num(data.timestampCompleted), FieldKind::Meta);
    v.number("_nfsStatsRpcStatus", num(data._nfsStatsRpcStatus), FieldKind::Status);
    v.number("_cifsStatsRpcStatus", num(data._cifsStatsRpcStatus), FieldKind::Status);
#define NB_VISIT_SUB(bit, member, type, sname, FIELDS, Suffix) \
    {                                                          \
        auto& sub = data.member;                               \
        v.begin(#member, FieldVisitor::Shape::Member);         \
        FIELDS(TOLM_VISIT_FIELD)                               \
        v.end();                                               \
    }
    NB_SUBRECORDS(NB_VISIT_SUB)
#undef NB_VISIT_SUB
}

void NbladeStats::dump() {
    printf("attribute=data.version value=%d\n", static_cast<int>(data.version));
    printf("attribute=data.timestampCreated value=%d\n", data.timestampCreated);
    printf("attribute=data.timestampCompleted value=%d\n", data.timestampCompleted);
#define NB_DUMP_SUB(bit, member, type, sname, FIELDS, Suffix) \
    {                                                         \
        const char* path = "data." #member;                   \
        auto& sub = data.member;                              \
        FIELDS(TOLM_DUMP_FIELD)                               \
    }
    NB_SUBRECORDS(NB_DUMP_SUB)
#undef NB_DUMP_SUB
    printf("attribute=data._nfsStatsRpcStatus value=%d\n",
           static_cast<int>(data._nfsStatsRpcStatus));
    printf("attribute=data._cifsStatsRpcStatus value=%d\n",
           static_cast<int>(data._cifsStatsRpcStatus));
}

void NbladeStats::fromXml(const XmlElement& e) {
    XmlRecordReader::expectRoot(e, "nblade");
    XmlRecordReader x(e);
    memset(&data, 0, sizeof data);
    data.version = static_cast<uint32_t>(x.attribute("version"));
    data.mask = static_cast<uint32_t>(x.attribute("mask"));
    data.timestampCreated = static_cast<int32_t>(x.attribute("created"));
    data.timestampCompleted = static_cast<int32_t>(x.attribute("completed"));
    x.statistic("_nfsStatsRpcStatus", data._nfsStatsRpcStatus);
    x.statistic("_cifsStatsRpcStatus", data._cifsStatsRpcStatus);
#define NB_LOAD_SUB(bit, member, type, sname, FIELDS, Suffix) \
    TOLM_LOAD_ELEMENT(x, #member, data.member, FIELDS)
    NB_SUBRECORDS(NB_LOAD_SUB)
#undef NB_LOAD_SUB
    x.finish();
}
