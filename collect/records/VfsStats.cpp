#include "VfsStats.h"

#include <cstring>

#include "Deserializer.h"
#include "FileBuffer.h"
#include "SerializationException.h"
#include "Serializer.h"
#include "XdrBuffer.h"
#include "XmlRecordReader.h"
#include "XmlRenderer.h"

template <class S>
void VfsStats::serializeTo(S& s) const {
    putFields(s, data);
}

const FieldRuns& VfsStats::plan() {
    return fieldcodec::planOf<vfs_stats_data_t>(
        [](fieldcodec::RunPlanner& s, const vfs_stats_data_t& sub) { putFields(s, sub); });
}

template void VfsStats::serializeTo<Serializer>(Serializer&) const;
template void VfsStats::serializeTo<XdrBuffer::Counter>(XdrBuffer::Counter&) const;
template void VfsStats::serializeTo<XdrBuffer::Words>(XdrBuffer::Words&) const;
template void VfsStats::serializeTo<FileBuffer>(FileBuffer&) const;

void VfsStats::deserialize(Deserializer& d) {
    auto& sub = data;
    data.statsRpcStatus = d.read32();
    data.vfsid = d.read32();
    TOLM_GET_FIELDS(VFS_COUNTER_FIELDS);
}

void VfsStats::toXml(XmlRenderer& r) {
    auto& sub = data;
    XmlAttrs attrs;
    XmlRenderer::addAttr(attrs, "vfsid", data.vfsid);
    r.pushTag("vfs", &attrs);
    // A failed fetch leaves counters that mean nothing: only its status is shown.
    if (data.statsRpcStatus != 0) {
        r.renderAttribute("statsRpcStatus", data.statsRpcStatus);
    } else {
        VFS_COUNTER_FIELDS(TOLM_XML_FIELD)
    }
    r.popTag();
}

void VfsStats::visit(FieldVisitor& v) const {
    using fieldcodec::num;
    auto& sub = data;
    v.begin("vfs", FieldVisitor::Shape::ListItem);
    v.number("vfsid", num(data.vfsid), FieldKind::Identity);
    v.number("statsRpcStatus", num(data.statsRpcStatus), FieldKind::Status);
    if (data.statsRpcStatus == 0) {
        VFS_COUNTER_FIELDS(TOLM_VISIT_FIELD)
    }
    v.end();
}

void VfsStats::dump() {
    auto& sub = data;
    printf("-------------------------------------\n");
    printf("id: %d\n", static_cast<int>(data.vfsid));
    VFS_COUNTER_FIELDS(TOLM_DUMP_PLAIN_FIELD)
}

void VfsStats::fromXml(const XmlElement& e) {
    XmlRecordReader x(e);
    auto& sub = data;
    memset(&data, 0, sizeof data);
    data.vfsid = static_cast<uint32_t>(x.attribute("vfsid"));
    if (x.nextIsStatistic("statsRpcStatus")) {
        x.statistic("statsRpcStatus", data.statsRpcStatus);
    } else {
        VFS_COUNTER_FIELDS(TOLM_LOAD_FIELD)
    }
    x.finish();
}
