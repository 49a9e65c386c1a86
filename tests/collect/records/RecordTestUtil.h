#pragma once

// Helpers shared by the record tests: a scratch directory, byte access to
// files and XDR streams, a renderer that captures its text, and fillers that
// give every field of a record a random value.

#include <rpc/rpc.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "FileSerializer.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "XdrDeserializer.h"
#include "XdrSerializer.h"
#include "XmlRenderer.h"

typedef std::vector<unsigned char> Bytes;

class ScratchDir {
public:
    ScratchDir() {
        char templ[] = "/tmp/tolmtest.XXXXXX";
        _path = mkdtemp(templ);
    }
    ~ScratchDir() { std::system(("rm -rf " + _path).c_str()); }
    std::string file(const std::string& name) const { return _path + "/" + name; }
    const std::string& path() const { return _path; }

private:
    std::string _path;
};

inline Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const Bytes& b) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Runs `body` on an XdrSerializer over a memory stream and returns the bytes.
template <typename F>
Bytes xdrBytes(F body, size_t room = 1 << 20) {
    Bytes buf(room);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(buf.data()), static_cast<u_int>(room), XDR_ENCODE);
    XdrSerializer s(&x);
    body(s);
    buf.resize(xdr_getpos(&x));
    xdr_destroy(&x);
    return buf;
}

template <typename F>
Bytes fileBytes(const ScratchDir& dir, F body) {
    std::string path = dir.file("rec");
    {
        FileSerializer s(path);
        body(s);
    }
    return readFile(path);
}

inline uint32_t le32(const Bytes& b, size_t off) {
    return b[off] | b[off + 1] << 8 | b[off + 2] << 16 | static_cast<uint32_t>(b[off + 3]) << 24;
}
inline uint64_t le64(const Bytes& b, size_t off) {
    return le32(b, off) | static_cast<uint64_t>(le32(b, off + 4)) << 32;
}
inline uint32_t be32(const Bytes& b, size_t off) {
    return static_cast<uint32_t>(b[off]) << 24 | b[off + 1] << 16 | b[off + 2] << 8 | b[off + 3];
}
inline uint64_t be64(const Bytes& b, size_t off) {
    return static_cast<uint64_t>(be32(b, off)) << 32 | be32(b, off + 4);
}

class CapturingRenderer : public XmlRenderer {
public:
    using XmlRenderer::out;
    void out(const char* s) override { text += s; }
    int level() const { return _level; }
    std::string text;
};

// Random values that exercise the top bits of every width.
class Filler {
public:
    explicit Filler(unsigned seed) : _rng(seed) {}
    void fill(uint32_t& v) { v = static_cast<uint32_t>(_rng()) | 0x80000000u; }
    void fill(int32_t& v) { v = static_cast<int32_t>(_rng()); }
    void fill(uint16_t& v) { v = static_cast<uint16_t>(_rng()) | 0x8000; }
    void fill(uint64_t& v) { v = _rng() | 0x8000000100000000ull; }
    void fill(success_fail_t& v) {
        fill(v.succeeded);
        fill(v.failed);
    }
    template <size_t N>
    void fill(uint32_t (&a)[N]) {
        for (auto& e : a) fill(e);
    }
    void fill(unsigned char (&a)[16]) {
        for (auto& e : a) e = static_cast<unsigned char>(_rng());
    }
    uint32_t below(uint32_t n) { return static_cast<uint32_t>(_rng() % n); }

private:
    std::mt19937_64 _rng;
};

#define TEST_FILL_FIELD(T, name, ...) f.fill(sub.name);

inline void fillNblade(NbladeStats& r, Filler& f) {
    memset(&r.data, 0, sizeof r.data);
    f.fill(r.data.version);
    f.fill(r.data.mask);
    f.fill(r.data.timestampCreated);
    f.fill(r.data.timestampCompleted);
#define TEST_FILL_NB(bit, member, type, sname, FIELDS, Suffix) \
    {                                                          \
        auto& sub = r.data.member;                             \
        FIELDS(TEST_FILL_FIELD)                                \
    }
    NB_SUBRECORDS(TEST_FILL_NB)
#undef TEST_FILL_NB
    f.fill(r.data._nfsStatsRpcStatus);
    f.fill(r.data._cifsStatsRpcStatus);
}

inline void fillDblade(DbladeStats& r, Filler& f) {
    memset(&r.data, 0, sizeof r.data);
    f.fill(r.data.version);
    f.fill(r.data.mask);
    f.fill(r.data.timestampCreated);
    f.fill(r.data.timestampCompleted);
#define TEST_FILL_DB(bit, member, type, FIELDS, Suffix) \
    {                                                   \
        auto& sub = r.data.member;                      \
        FIELDS(TEST_FILL_FIELD)                         \
    }
#define TEST_FILL_LRU(bit, member)    \
    {                                 \
        auto& sub = r.data.member;    \
        DB_LRU_FIELDS(TEST_FILL_FIELD) \
    }
    DB_MEMBERS(TEST_FILL_DB, TEST_FILL_LRU)
#undef TEST_FILL_DB
#undef TEST_FILL_LRU
    f.fill(r.data.cpu0PctIdle);
    f.fill(r.data.cpu1PctIdle);
}

inline void fillMgmt(MgmtProcStats& r, Filler& f) {
    memset(&r.data, 0, sizeof r.data);
    f.fill(r.data.version);
    f.fill(r.data.timestampCreated);
#define TEST_FILL_PROC(member, label)      \
    {                                      \
        auto& sub = r.data.member;         \
        PROC_STATS_FIELDS(TEST_FILL_FIELD) \
    }
    MGMT_PROCESSES(TEST_FILL_PROC)
#undef TEST_FILL_PROC
}

inline VfsStats* makeVfs(Filler& f) {
    VfsStats* v = new VfsStats();
    memset(&v->data, 0, sizeof v->data);
    auto& sub = v->data;
    f.fill(sub.statsRpcStatus);
    f.fill(sub.vfsid);
    VFS_COUNTER_FIELDS(TEST_FILL_FIELD)
    return v;
}

inline LpStats* makeLp(Filler& f, const std::string& name, int vfsCount) {
    LpStats* lp = new LpStats();
    memset(&lp->data, 0, sizeof lp->data);
    lp->name = name;
    auto& sub = lp->data;
    f.fill(sub.statsRpcStatus);
    f.fill(sub.uuid);
    f.fill(sub.state);
    LP_COUNTER_FIELDS(TEST_FILL_FIELD)
    for (int i = 0; i < vfsCount; i++) lp->addVfsStats(makeVfs(f));
    return lp;
}

inline void fillLpSetData(LpStatsSet& set, Filler& f) {
    memset(&set.data, 0, sizeof set.data);
    auto& sub = set.data;
    f.fill(sub.version);
    f.fill(sub.timestampCreated);
    f.fill(sub.timestampCompleted);
    f.fill(sub.listLpRpcStatus);
    f.fill(sub.volStatRpcStatus);
    LPSET_GLOBAL_FIELDS(TEST_FILL_FIELD)
}

inline void fillFcdData(FcdStats& r, Filler& f) {
    memset(&r.data, 0, sizeof r.data);
    auto& sub = r.data;
    f.fill(sub.version);
    f.fill(sub.timestampCreated);
    f.fill(sub.timestampCompleted);
    f.fill(sub.statsRpcStatus);
    f.fill(sub.listRpcStatus);
    FCD_TOTAL_FIELDS(TEST_FILL_FIELD)
}

inline _fcdDiskStats* makeDisk(Filler& f) {
    _fcdDiskStats* d = new _fcdDiskStats();
    auto& sub = *d;
    f.fill(sub.diskType);
    f.fill(sub.diskID);
    FCD_DISK_COUNTER_FIELDS(TEST_FILL_FIELD)
    return d;
}
