#include "LpStatsSet.h"

#include <cstring>

#include "Deserializer.h"
#include "FileBuffer.h"
#include "FileDeserializer.h"
#include "SerializationException.h"
#include "Serializer.h"
#include "XdrBuffer.h"
#include "XmlRecordReader.h"
#include "XmlRenderer.h"

LpStatsSet::LpStatsSet(const char* path) {
    FileDeserializer d(path, 4096);
    deserialize(d);
}

LpStatsSet::LpStatsSet(Deserializer& d) {
    deserialize(d);
}

LpStatsSet::LpStatsSet(const LpStatsSet& other) : data(other.data) {
    for (LpStats* lp : other._pools)
        _pools.push_back(new LpStats(*lp));
}

LpStatsSet& LpStatsSet::operator=(const LpStatsSet& other) {
    if (this == &other)
        return *this;
    clear();
    for (LpStats* lp : other._pools)
        _pools.push_back(new LpStats(*lp));
    data = other.data;
    return *this;
}

LpStatsSet::~LpStatsSet() {
    clear();
}

void LpStatsSet::clear() {
    for (LpStats* lp : _pools)
        delete lp;
    _pools.clear();
}

template <class S>
void LpStatsSet::serializeTo(S& s) const {
    s.write32(SER_LP);
    s.write32(data.version);
    s.write32(static_cast<uint32_t>(_pools.size()));
    s.write32(static_cast<uint32_t>(data.timestampCreated));
    s.write32(static_cast<uint32_t>(data.timestampCompleted));
    s.write32(data.listLpRpcStatus);
    s.write32(data.volStatRpcStatus);
    auto& sub = data;
    TOLM_PUT_FIELDS(LPSET_GLOBAL_FIELDS);
    for (const LpStats* lp : _pools)
        lp->serializeTo(s);
}

void LpStatsSet::serialize(Serializer& s) {
    serializeTo(s);
}
template void LpStatsSet::serializeTo<Serializer>(Serializer&) const;
template void LpStatsSet::serializeTo<XdrBuffer::Counter>(XdrBuffer::Counter&) const;
template void LpStatsSet::serializeTo<XdrBuffer::Words>(XdrBuffer::Words&) const;
template void LpStatsSet::serializeTo<FileBuffer>(FileBuffer&) const;

void LpStatsSet::deserialize(Deserializer& d) {
    if (d.read32() != SER_LP)
        throw SerializationException("type is not SER_LP", 0);
    data.version = d.read32();
    uint32_t count = d.read32();
    data.timestampCreated = static_cast<int32_t>(d.read32());
    data.timestampCompleted = static_cast<int32_t>(d.read32());
    data.listLpRpcStatus = d.read32();
    data.volStatRpcStatus = d.read32();
    auto& sub = data;
    TOLM_GET_FIELDS(LPSET_GLOBAL_FIELDS);
    clear();
    for (uint32_t i = 0; i < count; i++) {
        LpStats* lp = new LpStats();
        _pools.push_back(lp);
        lp->deserialize(d);
    }
}

void renderGlobal(XmlRenderer& r, lpset_stats_data_t& sub) {
    r.pushTag("global", nullptr);
    LPSET_GLOBAL_FIELDS(TOLM_XML_FIELD)
    r.popTag();
}

void LpStatsSet::toXml(XmlRenderer& r) {
    XmlAttrs attrs;
    XmlRenderer::addAttr(attrs, "version", data.version);
    XmlRenderer::addAttr(attrs, "created", static_cast<unsigned int>(data.timestampCreated));
    XmlRenderer::addAttr(attrs, "completed", static_cast<unsigned int>(data.timestampCompleted));
    r.pushTag("storagepools", &attrs);
    r.renderAttribute("listLpRpcStatus", data.listLpRpcStatus);
    if (data.volStatRpcStatus != 0)
        r.renderAttribute("volStatRpcStatus", data.volStatRpcStatus);
    else
        renderGlobal(r, data);
    for (LpStats* lp : _pools)
        lp->toXml(r);
    r.popTag();
}

void LpStatsSet::visit(FieldVisitor& v) const {
    using fieldcodec::num;
    v.number("version", num(data.version), FieldKind::Meta);
    v.number("created", num(data.timestampCreated), FieldKind::Meta);
    v.number("completed", num(data.timestampCompleted), FieldKind::Meta);
    v.number("listLpRpcStatus", num(data.listLpRpcStatus), FieldKind::Status);
    v.number("volStatRpcStatus", num(data.volStatRpcStatus), FieldKind::Status);
    // A failed fetch leaves counters that mean nothing: they are not visited.
    if (data.volStatRpcStatus == 0) {
        auto& sub = data;
        v.begin("global", FieldVisitor::Shape::Member);
        LPSET_GLOBAL_FIELDS(TOLM_VISIT_FIELD)
        v.end();
    }
    for (const LpStats* lp : _pools)
        lp->visit(v);
}

void LpStatsSet::dump() {
    auto& sub = data;
    LPSET_GLOBAL_FIELDS(TOLM_DUMP_PLAIN_FIELD)
    for (LpStats* lp : _pools)
        lp->dump();
}

void LpStatsSet::fromXml(const XmlElement& e) {
    XmlRecordReader::expectRoot(e, "storagepools");
    XmlRecordReader x(e);
    memset(&data, 0, sizeof data);
    data.version = static_cast<uint32_t>(x.attribute("version"));
    data.timestampCreated = static_cast<int32_t>(x.attribute("created"));
    data.timestampCompleted = static_cast<int32_t>(x.attribute("completed"));
    x.statistic("listLpRpcStatus", data.listLpRpcStatus);
    if (x.nextIsStatistic("volStatRpcStatus")) {
        x.statistic("volStatRpcStatus", data.volStatRpcStatus);
    } else {
        TOLM_LOAD_ELEMENT(x, "global", data, LPSET_GLOBAL_FIELDS)
    }
    while (const XmlElement* c = x.child("lp")) {
        LpStats* lp = new LpStats();
        addLpStats(lp);
        lp->fromXml(*c);
    }
    x.finish();
}
