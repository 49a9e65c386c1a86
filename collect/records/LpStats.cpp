#include "LpStats.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#include "Deserializer.h"
#include "FileBuffer.h"
#include "SerializationException.h"
#include "Serializer.h"
#include "XdrBuffer.h"
#include "XmlRecordReader.h"
#include "XmlRenderer.h"

LpStats::LpStats(const LpStats& other) : name(other.name), data(other.data) {
    for (VfsStats* v : other._vfs)
        _vfs.push_back(new VfsStats(*v));
}

LpStats& LpStats::operator=(const LpStats& other) {
    if (this == &other)
        return *this;
    clear();
    for (VfsStats* v : other._vfs)
        _vfs.push_back(new VfsStats(*v));
    name = other.name;
    data = other.data;
    return *this;
}

LpStats::~LpStats() {
    clear();
}

void LpStats::clear() {
    for (VfsStats* v : _vfs)
        delete v;
    _vfs.clear();
}

template <class S>
void LpStats::serializeTo(S& s) const {
    // The name goes out zero-terminated and zero-filled to a multiple of 4.
    uint32_t n = (static_cast<uint32_t>(name.size()) + 1 + 3) & ~3u;
    s.write32(n);
    if (!name.empty())
        s.writeBuffer(reinterpret_cast<const unsigned char*>(name.data()),
                      static_cast<int>(name.size()));
    static const unsigned char kZeros[4] = {0, 0, 0, 0};
    s.writeBuffer(kZeros, static_cast<int>(n - name.size()));
    s.write32(static_cast<uint32_t>(_vfs.size()));
    s.write32(data.statsRpcStatus);
    s.writeBuffer(data.uuid, sizeof data.uuid);
    s.write32(data.state);
    auto& sub = data;
    TOLM_PUT_FIELDS(LP_COUNTER_FIELDS);
    // Every volume has one size: the counting pass takes them all at once.
    if constexpr (std::is_same_v<S, XdrBuffer::Counter>)
        s.words += _vfs.size() * VfsStats::kXdrWords;
    else if constexpr (std::is_same_v<S, XdrBuffer::Words>)
        // A volume's data lies at one place in every volume (offsetof needs
        // a standard-layout class, checked below).
        s.putEach(_vfs.data(), _vfs.size(), offsetof(VfsStats, data), VfsStats::plan());
    else
        for (const VfsStats* v : _vfs)
            v->serializeTo(s);
}
static_assert(std::is_standard_layout_v<VfsStats>, "a volume's data at one offset");
template void LpStats::serializeTo<Serializer>(Serializer&) const;
template void LpStats::serializeTo<XdrBuffer::Counter>(XdrBuffer::Counter&) const;
template void LpStats::serializeTo<XdrBuffer::Words>(XdrBuffer::Words&) const;
template void LpStats::serializeTo<FileBuffer>(FileBuffer&) const;

void LpStats::deserialize(Deserializer& d) {
    uint32_t n = d.read32();
    // The name is read in pieces, so that a damaged length costs no more
    // memory than the bytes that actually follow it.
    std::vector<unsigned char> buf;
    uint32_t got = 0;
    while (got < n) {
        uint32_t piece = std::min<uint32_t>(n - got, 4096);
        buf.resize(got + piece);
        uint32_t arrived = d.readBuffer(buf.data() + got, static_cast<int>(piece));
        got += arrived;
        if (arrived < piece) {
            char msg[80];
            snprintf(msg, sizeof msg, "deserialization failed: not enough bytes for name: %d\n",
                     static_cast<int>(n));
            throw SerializationException(msg, 0);
        }
    }
    size_t len = 0;
    while (len < n && buf[len] != 0)
        len++;
    name.assign(reinterpret_cast<const char*>(buf.data()), len);
    uint32_t count = d.read32();
    data.statsRpcStatus = d.read32();
    if (d.readBuffer(data.uuid, sizeof data.uuid) < sizeof data.uuid)
        throw SerializationException("deserialization failed: not enough space for uuid", 0);
    data.state = d.read32();
    auto& sub = data;
    TOLM_GET_FIELDS(LP_COUNTER_FIELDS);
    clear();
    for (uint32_t i = 0; i < count; i++) {
        VfsStats* v = new VfsStats();
        _vfs.push_back(v);
        v->deserialize(d);
    }
}

static std::string uuidText(const unsigned char* uuid) {
    char text[33];
    for (int i = 0; i < 16; i++)
        snprintf(text + 2 * i, 3, "%2.2x", uuid[i]);
    return std::string(text, 32);
}

void LpStats::toXml(XmlRenderer& r) {
    XmlAttrs attrs;
    attrs["name"] = name;
    attrs["uuid"] = uuidText(data.uuid);
    r.pushTag("lp", &attrs);
    r.renderAttribute("state", data.state);
    if (data.statsRpcStatus == 0) {
        auto& sub = data;
        LP_COUNTER_FIELDS(TOLM_XML_FIELD)
    } else {
        r.renderAttribute("statsRpcStatus", data.statsRpcStatus);
    }
    for (VfsStats* v : _vfs)
        v->toXml(r);
    r.popTag();
}

void LpStats::visit(FieldVisitor& v) const {
    using fieldcodec::num;
    v.begin("lp", FieldVisitor::Shape::ListItem);
    v.text("name", name, FieldKind::Identity);
    v.text("uuid", uuidText(data.uuid), FieldKind::Identity);
    v.number("state", num(data.state), FieldKind::Gauge);
    v.number("statsRpcStatus", num(data.statsRpcStatus), FieldKind::Status);
    if (data.statsRpcStatus == 0) {
        auto& sub = data;
        LP_COUNTER_FIELDS(TOLM_VISIT_FIELD)
    }
    for (const VfsStats* vfs : _vfs)
        vfs->visit(v);
    v.end();
}

void LpStats::dump() {
    printf("**********************************************\n");
    printf("name: %s\nuuid: ", name.c_str());
    printf("%s\n", uuidText(data.uuid).c_str());
    printf("state: %d\n", static_cast<int>(data.state));
    auto& sub = data;
    LP_COUNTER_FIELDS(TOLM_DUMP_PLAIN_FIELD)
    for (VfsStats* v : _vfs)
        v->dump();
}

void LpStats::fromXml(const XmlElement& e) {
    XmlRecordReader x(e);
    auto& sub = data;
    memset(&data, 0, sizeof data);
    name = x.text("name");
    std::string uuid = x.text("uuid");
    if (uuid.size() != 2 * sizeof data.uuid ||
        uuid.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        throw SerializationException("XML element <lp>: uuid is not 32 hex digits: " + uuid, 0);
    for (size_t i = 0; i < sizeof data.uuid; i++)
        data.uuid[i] = static_cast<unsigned char>(std::stoul(uuid.substr(2 * i, 2), nullptr, 16));
    x.statistic("state", data.state);
    if (x.nextIsStatistic("statsRpcStatus")) {
        x.statistic("statsRpcStatus", data.statsRpcStatus);
    } else {
        LP_COUNTER_FIELDS(TOLM_LOAD_FIELD)
    }
    while (const XmlElement* c = x.child("vfs")) {
        VfsStats* v = new VfsStats();
        addVfsStats(v);
        v->fromXml(*c);
    }
    x.finish();
}
