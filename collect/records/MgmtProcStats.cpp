#include "MgmtProcStats.h"

#include <cstring>

#include "Deserializer.h"
#include "FileBuffer.h"
#include "FileDeserializer.h"
#include "SerializationException.h"
#include "Serializer.h"
#include "XdrBuffer.h"
#include "XmlRecordReader.h"
#include "XmlRenderer.h"

MgmtProcStats::MgmtProcStats(const char* path) {
    FileDeserializer d(path, 4096);
    deserialize(d);
}

template <class S>
void MgmtProcStats::serializeTo(S& s, unsigned int /*mask*/) const {
    s.write32(SER_MGMT);
    // The rest of the record is its 32-bit words in struct order: the
    // version, the timestamp and every process's figures.
#define MGMT_COUNT_PROCESS(member, label) +1
    constexpr size_t kWords =
        2 + (0 MGMT_PROCESSES(MGMT_COUNT_PROCESS)) * (0 PROC_STATS_FIELDS(TOLM_COUNT_FIELD));
#undef MGMT_COUNT_PROCESS
    static_assert(sizeof data == 4 * kWords, "the record is its words alone");
    if constexpr (fieldcodec::TakesWords32<S>::value) {
        s.template putWords32<kWords>(&data);
        return;
    }
    s.write32(data.version);
    s.write32(static_cast<uint32_t>(data.timestampCreated));
#define MGMT_PUT_PROCESS(member, label)     \
    {                                       \
        auto& sub = data.member;            \
        TOLM_PUT_FIELDS(PROC_STATS_FIELDS); \
    }
    MGMT_PROCESSES(MGMT_PUT_PROCESS)
#undef MGMT_PUT_PROCESS
}

void MgmtProcStats::serialize(Serializer& s, unsigned int mask) {
    serializeTo(s, mask);
}
template void MgmtProcStats::serializeTo<Serializer>(Serializer&, unsigned int) const;
template void MgmtProcStats::serializeTo<XdrBuffer::Counter>(XdrBuffer::Counter&,
                                                             unsigned int) const;
template void MgmtProcStats::serializeTo<XdrBuffer::Words>(XdrBuffer::Words&, unsigned int) const;
template void MgmtProcStats::serializeTo<FileBuffer>(FileBuffer&, unsigned int) const;

void MgmtProcStats::deserialize(Deserializer& d) {
    if (d.read32() != SER_MGMT)
        throw SerializationException("type is not SER_MGMT", 0);
    data.version = d.read32();
    data.timestampCreated = static_cast<int32_t>(d.read32());
#define MGMT_GET_PROCESS(member, label)     \
    {                                       \
        auto& sub = data.member;            \
        TOLM_GET_FIELDS(PROC_STATS_FIELDS); \
    }
    MGMT_PROCESSES(MGMT_GET_PROCESS)
#undef MGMT_GET_PROCESS
}

void renderStats(XmlRenderer& r, const char* name, proc_stats_t& sub) {
    r.pushTag(name, nullptr);
    PROC_STATS_FIELDS(TOLM_XML_FIELD)
    r.popTag();
}

void MgmtProcStats::toXml(XmlRenderer& r) {
    XmlAttrs attrs;
    XmlRenderer::addAttr(attrs, "version", data.version);
    XmlRenderer::addAttr(attrs, "created", static_cast<unsigned int>(data.timestampCreated));
    r.pushTag("mgmt", &attrs);
#define MGMT_RENDER_PROCESS(member, label) renderStats(r, #member, data.member);
    MGMT_PROCESSES(MGMT_RENDER_PROCESS)
#undef MGMT_RENDER_PROCESS
    r.popTag();
}

void MgmtProcStats::visit(FieldVisitor& v) const {
    using fieldcodec::num;
    v.number("version", num(data.version), FieldKind::Meta);
    v.number("created", num(data.timestampCreated), FieldKind::Meta);
#define MGMT_VISIT_PROCESS(member, label)                        \
    {                                                            \
        auto& sub = data.member;                                 \
        v.begin(#member, FieldVisitor::Shape::Keyed, "process"); \
        PROC_STATS_FIELDS(TOLM_VISIT_FIELD)                      \
        v.end();                                                 \
    }
    MGMT_PROCESSES(MGMT_VISIT_PROCESS)
#undef MGMT_VISIT_PROCESS
}

void MgmtProcStats::dump() {
#define MGMT_DUMP_FIELD(T, name, ...) \
    printf("%s: " #name " = %d\n", label, static_cast<int>(sub.name));
#define MGMT_DUMP_PROCESS(member, text)    \
    {                                      \
        const char* label = text;          \
        auto& sub = data.member;           \
        PROC_STATS_FIELDS(MGMT_DUMP_FIELD) \
    }
    MGMT_PROCESSES(MGMT_DUMP_PROCESS)
#undef MGMT_DUMP_PROCESS
#undef MGMT_DUMP_FIELD
}

void MgmtProcStats::fromXml(const XmlElement& e) {
    XmlRecordReader::expectRoot(e, "mgmt");
    XmlRecordReader x(e);
    memset(&data, 0, sizeof data);
    data.version = static_cast<uint32_t>(x.attribute("version"));
    data.timestampCreated = static_cast<int32_t>(x.attribute("created"));
#define MGMT_LOAD_PROCESS(member, label) \
    TOLM_LOAD_ELEMENT(x, #member, data.member, PROC_STATS_FIELDS)
    MGMT_PROCESSES(MGMT_LOAD_PROCESS)
#undef MGMT_LOAD_PROCESS
    x.finish();
}
