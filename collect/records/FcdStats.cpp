#include "FcdStats.h"

#include <cstring>

#include "Deserializer.h"
#include "FileBuffer.h"
#include "FileDeserializer.h"
#include "SerializationException.h"
#include "Serializer.h"
#include "XdrBuffer.h"
#include "XmlRecordReader.h"
#include "XmlRenderer.h"

FcdStats::FcdStats(const char* path) {
    FileDeserializer d(path, 4096);
    deserialize(d);
}

FcdStats::FcdStats(Deserializer& d) {
    deserialize(d);
}

FcdStats::FcdStats(const FcdStats& other) : data(other.data) {
    for (_fcdDiskStats* disk : other._disks)
        _disks.push_back(new _fcdDiskStats(*disk));
}

FcdStats& FcdStats::operator=(const FcdStats& other) {
    if (this == &other)
        return *this;
    clear();
    for (_fcdDiskStats* disk : other._disks)
        _disks.push_back(new _fcdDiskStats(*disk));
    data = other.data;
    return *this;
}

FcdStats::~FcdStats() {
    clear();
}

void FcdStats::clear() {
    for (_fcdDiskStats* disk : _disks)
        delete disk;
    _disks.clear();
}

template <class S>
void FcdStats::serializeTo(S& s) const {
    s.write32(SER_FCD);
    s.write32(data.version);
    s.write32(static_cast<uint32_t>(data.timestampCreated));
    s.write32(static_cast<uint32_t>(data.timestampCompleted));
    s.write32(data.statsRpcStatus);
    s.write32(data.listRpcStatus);
    {
        auto& sub = data;
        TOLM_PUT_FIELDS(FCD_TOTAL_FIELDS);
    }
    s.write32(static_cast<uint32_t>(_disks.size()));
    // A disk: its type, its id and its counters.
    auto disk = [](auto& s, const _fcdDiskStats& sub) {
        fieldcodec::putField(s, sub.diskType);
        fieldcodec::putField(s, sub.diskID);
        TOLM_PUT_FIELDS(FCD_DISK_COUNTER_FIELDS);
    };
    if constexpr (std::is_same_v<S, XdrBuffer::Words>) {
        s.putEach(_disks.data(), _disks.size(), 0, fieldcodec::planOf<_fcdDiskStats>(disk));
    } else {
        for (const _fcdDiskStats* d : _disks)
            disk(s, *d);
    }
}

void FcdStats::serialize(Serializer& s) {
    serializeTo(s);
}
template void FcdStats::serializeTo<Serializer>(Serializer&) const;
template void FcdStats::serializeTo<XdrBuffer::Counter>(XdrBuffer::Counter&) const;
template void FcdStats::serializeTo<XdrBuffer::Words>(XdrBuffer::Words&) const;
template void FcdStats::serializeTo<FileBuffer>(FileBuffer&) const;

void FcdStats::deserialize(Deserializer& d) {
    if (d.read32() != SER_FCD)
        throw SerializationException("type is not SER_FCD", 0);
    data.version = d.read32();
    data.timestampCreated = static_cast<int32_t>(d.read32());
    data.timestampCompleted = static_cast<int32_t>(d.read32());
    data.statsRpcStatus = d.read32();
    data.listRpcStatus = d.read32();
    {
        auto& sub = data;
        TOLM_GET_FIELDS(FCD_TOTAL_FIELDS);
    }
    uint32_t count = d.read32();
    for (uint32_t i = 0; i < count; i++) {
        _fcdDiskStats* disk = new _fcdDiskStats();
        _disks.push_back(disk);
        auto& sub = *disk;
        sub.diskType = d.read32();
        sub.diskID = d.read32();
        TOLM_GET_FIELDS(FCD_DISK_COUNTER_FIELDS);
    }
}

void FcdStats::toXml(XmlRenderer& r) {
    XmlAttrs attrs;
    XmlRenderer::addAttr(attrs, "version", data.version);
    XmlRenderer::addAttr(attrs, "created", static_cast<unsigned int>(data.timestampCreated));
    XmlRenderer::addAttr(attrs, "completed", static_cast<unsigned int>(data.timestampCompleted));
    r.pushTag("fcd", &attrs);
    r.renderAttribute("listRpcStatus", data.listRpcStatus);
    if (data.statsRpcStatus != 0) {
        r.renderAttribute("statsRpcStatus", data.statsRpcStatus);
    } else {
        auto& sub = data;
        r.pushTag("global", nullptr);
        FCD_TOTAL_FIELDS(TOLM_XML_FIELD)
        r.popTag();
    }
    for (_fcdDiskStats* disk : _disks) {
        auto& sub = *disk;
        XmlAttrs diskAttrs;
        XmlRenderer::addAttr(diskAttrs, "id", sub.diskID);
        XmlRenderer::addAttr(diskAttrs, "type", sub.diskType);
        r.pushTag("disk", &diskAttrs);
        FCD_DISK_COUNTER_FIELDS(TOLM_XML_FIELD)
        r.popTag();
    }
    r.popTag();
}

void FcdStats::visit(FieldVisitor& v) const {
    using fieldcodec::num;
    v.number("version", num(data.version), FieldKind::Meta);
    v.number("created", num(data.timestampCreated), FieldKind::Meta);
    v.number("completed", num(data.timestampCompleted), FieldKind::Meta);
    v.number("listRpcStatus", num(data.listRpcStatus), FieldKind::Status);
    v.number("statsRpcStatus", num(data.statsRpcStatus), FieldKind::Status);
    if (data.statsRpcStatus == 0) {
        auto& sub = data;
        v.begin("global", FieldVisitor::Shape::Member);
        FCD_TOTAL_FIELDS(TOLM_VISIT_FIELD)
        v.end();
    }
    for (const _fcdDiskStats* disk : _disks) {
        auto& sub = *disk;
        v.begin("disk", FieldVisitor::Shape::ListItem);
        v.number("id", num(sub.diskID), FieldKind::Identity);
        v.number("type", num(sub.diskType), FieldKind::Identity);
        FCD_DISK_COUNTER_FIELDS(TOLM_VISIT_FIELD)
        v.end();
    }
}

void FcdStats::dump() {
    printf("version: %d\n", static_cast<int>(data.version));
    printf("timestampCreated: %d\n", data.timestampCreated);
    printf("timestampCompleted: %d\n", data.timestampCompleted);
    printf("statsRpcStatus: %d\n", static_cast<int>(data.statsRpcStatus));
    printf("listRpcStatus: %d\n", static_cast<int>(data.listRpcStatus));
    {
        auto& sub = data;
        FCD_TOTAL_FIELDS(TOLM_DUMP_PLAIN_FIELD)
    }
    for (_fcdDiskStats* disk : _disks) {
        auto& sub = *disk;
        printf("******************************\n");
        // The id comes before the type here, the reverse of the field order.
        printf("diskID: %d\n", static_cast<int>(sub.diskID));
        printf("diskType: %d\n", static_cast<int>(sub.diskType));
        FCD_DISK_COUNTER_FIELDS(TOLM_DUMP_PLAIN_FIELD)
    }
}

void FcdStats::fromXml(const XmlElement& e) {
    XmlRecordReader::expectRoot(e, "fcd");
    XmlRecordReader x(e);
    memset(&data, 0, sizeof data);
    data.version = static_cast<uint32_t>(x.attribute("version"));
    data.timestampCreated = static_cast<int32_t>(x.attribute("created"));
    data.timestampCompleted = static_cast<int32_t>(x.attribute("completed"));
    x.statistic("listRpcStatus", data.listRpcStatus);
    if (x.nextIsStatistic("statsRpcStatus")) {
        x.statistic("statsRpcStatus", data.statsRpcStatus);
    } else {
        TOLM_LOAD_ELEMENT(x, "global", data, FCD_TOTAL_FIELDS)
    }
    while (const XmlElement* c = x.child("disk")) {
        _fcdDiskStats* disk = new _fcdDiskStats();
        memset(disk, 0, sizeof *disk);
        addDiskStats(disk);
        XmlRecordReader dx(*c);
        disk->diskID = static_cast<decltype(disk->diskID)>(dx.attribute("id"));
        disk->diskType = static_cast<decltype(disk->diskType)>(dx.attribute("type"));
        {
            XmlRecordReader& x = dx;
            auto& sub = *disk;
            FCD_DISK_COUNTER_FIELDS(TOLM_LOAD_FIELD)
            x.finish();
        }
    }
    x.finish();
}
