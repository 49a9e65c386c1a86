#include <gtest/gtest.h>

#include <functional>

#include "FileDeserializer.h"
#include "RecordTestUtil.h"
#include "RecordXdr.h"
#include "SerializationException.h"

namespace {

constexpr unsigned int ALL = 0xffffffffu;

std::string messageOf(const std::function<void()>& f) {
    try {
        f();
    } catch (SerializationException& e) {
        return e.msg;
    }
    return "<no exception>";
}

// Reads `bytes` back through a file deserializer into `rec`.
template <typename R>
void readBackFile(const ScratchDir& dir, const Bytes& bytes, R& rec) {
    std::string path = dir.file("back");
    writeFile(path, bytes);
    FileDeserializer d(path, 4096);
    rec.deserialize(d);
}

template <typename R>
void readBackXdr(Bytes bytes, R& rec) {
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(bytes.data()), bytes.size(), XDR_DECODE);
    XdrDeserializer d(&x);
    rec.deserialize(d);
    EXPECT_EQ(bytes.size(), xdr_getpos(&x)) << "reader stopped short of the writer";
    xdr_destroy(&x);
}

TEST(NbladeStats, LayoutInFileAndXdr) {
    ScratchDir dir;
    Filler f(1);
    NbladeStats r;
    fillNblade(r, f);
    r.data.version = 1;
    r.data.timestampCreated = -5;  // 32-bit on the wire whatever time_t is
    r.data.timestampCompleted = 0x7fffffff;
    r.data.bcp.freeBufferPool0 = 0xA1A2A3A4;
    r.data.bcp.histogram[0] = 0xB0;
    r.data.bcp.histogram[59] = 0xB59;
    r.data.cifs.TotalChannels = 0x0102030405060708ull;
    r.data.cifs.SidCacheEntries = 0xC0FFEE;
    r.data.lock.null.succeeded = 0x11;
    r.data.lock.null.failed = 0x22;
    r.data.transport.outOfConns = 0xDD;
    r.data._nfsStatsRpcStatus = static_cast<uint32_t>(-2);
    r.data._cifsStatsRpcStatus = 0x1234;

    Bytes full = fileBytes(dir, [&](Serializer& s) { r.serialize(s, ALL); });
    ASSERT_EQ(3772u, full.size());
    EXPECT_EQ(Bytes({0, 0, 0, 0, 1, 0, 0, 0, 0xff, 0xff, 0xff, 0xff, 0xfb, 0xff, 0xff, 0xff,
                     0xff, 0xff, 0xff, 0x7f, 0xA4, 0xA3, 0xA2, 0xA1}),
              Bytes(full.begin(), full.begin() + 24));
    // bcp: 18 u32 counters, then the 60 buckets.
    EXPECT_EQ(0xB0u, le32(full, 20 + 72));
    EXPECT_EQ(0xB59u, le32(full, 20 + 72 + 59 * 4));
    // cifs follows bcp's 312 bytes: 195 u64 counters, then its first u32.
    EXPECT_EQ(0x0102030405060708ull, le64(full, 332));
    EXPECT_EQ(0xC0FFEEu, le32(full, 332 + 195 * 8));
    // lock (bit 4) after cifs 1620, exports 24, leaseConn 24: succeeded then failed.
    EXPECT_EQ(0x11u, le64(full, 332 + 1620 + 48));
    EXPECT_EQ(0x22u, le64(full, 332 + 1620 + 48 + 8));
    // transport is the last sub-record (336 bytes), then the two status words.
    EXPECT_EQ(0xDDu, le64(full, 3764 - 336));
    EXPECT_EQ(0xfffffffeu, le32(full, 3764));
    EXPECT_EQ(0x1234u, le32(full, 3768));

    Bytes none = fileBytes(dir, [&](Serializer& s) { r.serialize(s, 0); });
    EXPECT_EQ(Bytes({0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0xfb, 0xff, 0xff, 0xff, 0xff, 0xff,
                     0xff, 0x7f, 0xfe, 0xff, 0xff, 0xff, 0x34, 0x12, 0, 0}),
              none);
    Bytes cifsOnly = fileBytes(dir, [&](Serializer& s) { r.serialize(s, 0x2); });
    ASSERT_EQ(28u + 1620, cifsOnly.size());
    EXPECT_EQ(0x0102030405060708ull, le64(cifsOnly, 20));

    // XDR: the same words big-endian; all values here are 4 or 8 bytes wide.
    Bytes x = xdrBytes([&](Serializer& s) { r.serialize(s, ALL); });
    ASSERT_EQ(3772u, x.size());
    EXPECT_EQ(0xffffffffu, be32(x, 8));
    EXPECT_EQ(0xA1A2A3A4u, be32(x, 20));
    EXPECT_EQ(0x0102030405060708ull, be64(x, 332));
    EXPECT_EQ(0xfffffffeu, be32(x, 3764));
}

TEST(NbladeStats, RoundTripsAndMaskHandling) {
    ScratchDir dir;
    for (unsigned seed = 1; seed <= 5; seed++) {
        Filler f(seed);
        NbladeStats r;
        fillNblade(r, f);
        r.data.mask = 0;  // the mask written is the argument, not this field
        NbladeStats viaFile, viaXdr;
        memset(&viaFile.data, 0, sizeof viaFile.data);
        memset(&viaXdr.data, 0, sizeof viaXdr.data);
        readBackFile(dir, fileBytes(dir, [&](Serializer& s) { r.serialize(s, ALL); }), viaFile);
        readBackXdr(xdrBytes([&](Serializer& s) { r.serialize(s, ALL); }), viaXdr);
        r.data.mask = ALL;
        EXPECT_EQ(0, memcmp(&r.data, &viaFile.data, sizeof r.data)) << "seed " << seed;
        EXPECT_EQ(0, memcmp(&r.data, &viaXdr.data, sizeof r.data)) << "seed " << seed;
    }

    // A partial mask touches only the selected sub-records of the target.
    Filler f(9);
    NbladeStats src, dst;
    fillNblade(src, f);
    fillNblade(dst, f);
    NbladeStats before = dst;
    readBackFile(dir, fileBytes(dir, [&](Serializer& s) { src.serialize(s, 0x200 | 0x1); }), dst);
    EXPECT_EQ(0x201u, dst.data.mask);
    EXPECT_EQ(0, memcmp(&src.data.bcp, &dst.data.bcp, sizeof dst.data.bcp));
    EXPECT_EQ(0, memcmp(&src.data.nfs3, &dst.data.nfs3, sizeof dst.data.nfs3));
    EXPECT_EQ(0, memcmp(&before.data.cifs, &dst.data.cifs, sizeof dst.data.cifs));
    EXPECT_EQ(0, memcmp(&before.data.transport, &dst.data.transport, sizeof dst.data.transport));
    EXPECT_EQ(src.data._cifsStatsRpcStatus, dst.data._cifsStatsRpcStatus);

    // A stream of another record type leaves the record unchanged.
    DbladeStats db;
    fillDblade(db, f);
    NbladeStats untouched = dst;
    EXPECT_EQ("type is not SER_NBLADE",
              messageOf([&] {
                  readBackFile(dir, fileBytes(dir, [&](Serializer& s) { db.serialize(s, ALL); }),
                               dst);
              }));
    EXPECT_EQ(0, memcmp(&untouched.data, &dst.data, sizeof dst.data));

    // A stream that ends early: "Read past EOF" from the file reader.
    Bytes cut = fileBytes(dir, [&](Serializer& s) { src.serialize(s, ALL); });
    cut.resize(1000);
    EXPECT_EQ("Read past EOF", messageOf([&] { readBackFile(dir, cut, dst); }));
}

TEST(DbladeStats, LayoutKrqmTwiceAndCpuWords) {
    ScratchDir dir;
    Filler f(2);
    DbladeStats r;
    fillDblade(r, f);
    r.data.krqm.maxRnums = 0xA1B2;
    r.data.cpu0PctIdle = -3;
    r.data.cpu1PctIdle = 97;
    r.data.failover.transCreated = 0xF0;
    r.data.failoverNC.transCreated = 0xF1;
    r.data.inode.upCalls = 0x1122334455667788ull;

    EXPECT_EQ(20u, fileBytes(dir, [&](Serializer& s) { r.serialize(s, 0); }).size());
    Bytes krqm = fileBytes(dir, [&](Serializer& s) { r.serialize(s, 1u << 11); });
    ASSERT_EQ(24u, krqm.size());
    EXPECT_EQ(Bytes({0xB2, 0xA1, 0xB2, 0xA1}), Bytes(krqm.begin() + 20, krqm.end()));
    Bytes xkrqm = xdrBytes([&](Serializer& s) { r.serialize(s, 1u << 11); });
    ASSERT_EQ(28u, xkrqm.size());
    EXPECT_EQ(Bytes({0, 0, 0xA1, 0xB2, 0, 0, 0xA1, 0xB2}), Bytes(xkrqm.begin() + 20, xkrqm.end()));

    // The first copy wins when the two differ.
    krqm[22] = 0x01;
    krqm[23] = 0x00;
    DbladeStats back;
    readBackFile(dir, krqm, back);
    EXPECT_EQ(0xA1B2, back.data.krqm.maxRnums);
    EXPECT_EQ(1u << 11, back.data.mask);

    Bytes failover = fileBytes(dir, [&](Serializer& s) { r.serialize(s, 1u << 2); });
    ASSERT_EQ(20u + 35 * 4, failover.size());
    EXPECT_EQ(0xF0u, le32(failover, 20));
    EXPECT_EQ(0xF1u, le32(failover, 20 + 26 * 4));

    Bytes full = fileBytes(dir, [&](Serializer& s) { r.serialize(s, ALL); });
    ASSERT_EQ(1216u, full.size());
    EXPECT_EQ(1u, le32(full, 0));
    // bmap 212, bmapBackup 72, failover 104, failoverNC 36, pio 16, six LRUs,
    // directoryCache 12: krqm at 688, inode after its 4 bytes.
    EXPECT_EQ(0xA1B2u, le32(full, 688) & 0xffff);
    EXPECT_EQ(0x1122334455667788ull, le64(full, 692));
    EXPECT_EQ(static_cast<uint32_t>(-3), le32(full, 1208));
    EXPECT_EQ(97u, le32(full, 1212));
    Bytes x = xdrBytes([&](Serializer& s) { r.serialize(s, ALL); });
    ASSERT_EQ(1220u, x.size());
    EXPECT_EQ(0x1122334455667788ull, be64(x, 696));
    EXPECT_EQ(static_cast<uint32_t>(-3), be32(x, 1212));

    for (unsigned seed = 1; seed <= 5; seed++) {
        Filler g(seed);
        DbladeStats src, viaFile, viaXdr;
        fillDblade(src, g);
        memset(&viaFile.data, 0, sizeof viaFile.data);
        memset(&viaXdr.data, 0, sizeof viaXdr.data);
        readBackFile(dir, fileBytes(dir, [&](Serializer& s) { src.serialize(s, ALL); }), viaFile);
        readBackXdr(xdrBytes([&](Serializer& s) { src.serialize(s, ALL); }), viaXdr);
        src.data.mask = ALL;
        EXPECT_EQ(0, memcmp(&src.data, &viaFile.data, sizeof src.data));
        EXPECT_EQ(0, memcmp(&src.data, &viaXdr.data, sizeof src.data));
    }

    NbladeStats nb;
    fillNblade(nb, f);
    EXPECT_EQ("type is not SER_DBLADE", messageOf([&] {
                  readBackFile(dir, fileBytes(dir, [&](Serializer& s) { nb.serialize(s, ALL); }),
                               back);
              }));
}

TEST(LpStatsSet, LayoutNamePaddingAndRoundTrip) {
    ScratchDir dir;
    Filler f(3);
    LpStatsSet empty;
    fillLpSetData(empty, f);
    empty.data.version = 1;
    Bytes e = fileBytes(dir, [&](Serializer& s) { empty.serialize(s); });
    ASSERT_EQ(412u, e.size());
    EXPECT_EQ(2u, le32(e, 0));
    EXPECT_EQ(1u, le32(e, 4));
    EXPECT_EQ(0u, le32(e, 8));  // pool count
    EXPECT_EQ(empty.data.globopGetAttrCount, le64(e, 28));
    EXPECT_EQ(empty.data.stalledRnums, le32(e, 28 + 36 * 8));
    EXPECT_EQ(empty.data.dmCloses, le64(e, 404));
    EXPECT_EQ(412u, xdrBytes([&](Serializer& s) { empty.serialize(s); }).size());

    // Name padding: n = (length + 1) rounded up to a multiple of 4.
    struct Case {
        std::string name;
        uint32_t n;
    } cases[] = {{"abc", 4}, {"abcd", 8}, {"", 4}, {"pool_seven", 12}};
    for (const Case& c : cases) {
        LpStatsSet set;
        fillLpSetData(set, f);
        set.addLpStats(makeLp(f, c.name, 0));
        Bytes b = fileBytes(dir, [&](Serializer& s) { set.serialize(s); });
        ASSERT_EQ(412u + 112 + c.n, b.size()) << c.name;
        EXPECT_EQ(c.n, le32(b, 412));
        Bytes expectName(c.n, 0);
        memcpy(expectName.data(), c.name.data(), c.name.size());
        EXPECT_EQ(expectName, Bytes(b.begin() + 416, b.begin() + 416 + c.n)) << c.name;
        EXPECT_EQ(0u, le32(b, 416 + c.n));  // volume count
        EXPECT_EQ(0, memcmp(set[0].data.uuid, &b[424 + c.n], 16));
        Bytes x = xdrBytes([&](Serializer& s) { set.serialize(s); });
        EXPECT_EQ(412u + 160 + 4 * c.n, x.size()) << c.name;
        LpStatsSet back;
        readBackFile(dir, b, back);
        ASSERT_EQ(1u, back.size());
        EXPECT_EQ(c.name, back[0].name);
    }

    // Three pools with 0, 2 and 5 volumes, through both serializers.
    LpStatsSet set;
    fillLpSetData(set, f);
    set.addLpStats(makeLp(f, "p0", 0));
    set.addLpStats(makeLp(f, "pool-one", 2));
    set.addLpStats(makeLp(f, "third", 5));
    auto check = [&](LpStatsSet& back) {
        EXPECT_EQ(0, memcmp(&set.data, &back.data, sizeof set.data));
        ASSERT_EQ(3u, back.size());
        for (size_t i = 0; i < 3; i++) {
            EXPECT_EQ(set[i].name, back[i].name);
            EXPECT_EQ(0, memcmp(&set[i].data, &back[i].data, sizeof set[i].data));
            ASSERT_EQ(set[i].size(), back[i].size());
            for (size_t j = 0; j < set[i].size(); j++)
                EXPECT_EQ(0, memcmp(&set[i][j].data, &back[i][j].data, sizeof set[i][j].data));
        }
    };
    Bytes b = fileBytes(dir, [&](Serializer& s) { set.serialize(s); });
    EXPECT_EQ(412u + (112 + 4) + (112 + 12 + 2 * 312) + (112 + 8 + 5 * 312), b.size());
    // Reading into a set that already holds pools replaces them.
    LpStatsSet viaFile;
    fillLpSetData(viaFile, f);
    for (int i = 0; i < 4; i++) viaFile.addLpStats(makeLp(f, "old", 3));
    readBackFile(dir, b, viaFile);
    check(viaFile);
    LpStatsSet viaXdr;
    memset(&viaXdr.data, 0, sizeof viaXdr.data);
    readBackXdr(xdrBytes([&](Serializer& s) { set.serialize(s); }), viaXdr);
    check(viaXdr);

    // Deep copies survive the source.
    LpStatsSet* source = new LpStatsSet(set);
    LpStatsSet assigned;
    assigned.addLpStats(makeLp(f, "gone", 1));
    assigned = *source;
    LpStatsSet copied(*source);
    delete source;
    check(assigned);
    check(copied);
    assigned = assigned;
    check(assigned);

    EXPECT_EQ("type is not SER_FCD", messageOf([&] {
                  FcdStats fcd;
                  readBackFile(dir, b, fcd);
              }));
}

TEST(LpStatsSet, TruncatedNameAndUuid) {
    ScratchDir dir;
    Filler f(4);
    LpStatsSet set;
    fillLpSetData(set, f);
    set.addLpStats(makeLp(f, "abcdefghijk", 1));  // n = 12
    Bytes b = fileBytes(dir, [&](Serializer& s) { set.serialize(s); });
    Bytes inName(b.begin(), b.begin() + 416 + 5);
    LpStatsSet back;
    EXPECT_EQ("deserialization failed: not enough bytes for name: 12\n",
              messageOf([&] { readBackFile(dir, inName, back); }));
    // The pool appended before the failure stays in the list.
    EXPECT_EQ(1u, back.size());
    Bytes inUuid(b.begin(), b.begin() + 416 + 12 + 8 + 10);
    EXPECT_EQ("deserialization failed: not enough space for uuid",
              messageOf([&] { readBackFile(dir, inUuid, back); }));
    Bytes inVfs(b.begin(), b.end() - 100);
    EXPECT_EQ("Read past EOF", messageOf([&] { readBackFile(dir, inVfs, back); }));
    ASSERT_EQ(1u, back.size());
    EXPECT_EQ(1u, back[0].size());
    EXPECT_EQ("type is not SER_LP", messageOf([&] {
                  MgmtProcStats m;
                  fillMgmt(m, f);
                  readBackFile(dir, fileBytes(dir, [&](Serializer& s) { m.serialize(s, ALL); }),
                               back);
              }));
}

TEST(FcdStats, LayoutAppendAndDeepCopy) {
    ScratchDir dir;
    Filler f(5);
    FcdStats r;
    fillFcdData(r, f);
    EXPECT_EQ(92u, fileBytes(dir, [&](Serializer& s) { r.serialize(s); }).size());
    for (int i = 0; i < 3; i++) r.addDiskStats(makeDisk(f));
    r[1].diskType = 5;
    r[1].diskID = 7;
    Bytes b = fileBytes(dir, [&](Serializer& s) { r.serialize(s); });
    ASSERT_EQ(164u, b.size());
    EXPECT_EQ(3u, le32(b, 0));
    EXPECT_EQ(r.data.listRpcStatus, le32(b, 20));
    EXPECT_EQ(r.data.readFrames, le64(b, 24));
    EXPECT_EQ(r.data.tapeWrites, le64(b, 80));
    EXPECT_EQ(3u, le32(b, 88));
    EXPECT_EQ(5u, le32(b, 92 + 24));  // diskType first
    EXPECT_EQ(7u, le32(b, 92 + 28));
    Bytes x = xdrBytes([&](Serializer& s) { r.serialize(s); });
    ASSERT_EQ(164u, x.size());
    EXPECT_EQ(5u, be32(x, 92 + 24));

    auto same = [&](FcdStats& a, FcdStats& c) {
        EXPECT_EQ(0, memcmp(&a.data, &c.data, sizeof a.data));
        ASSERT_EQ(a.size(), c.size());
        for (size_t i = 0; i < a.size(); i++)
            EXPECT_EQ(0, memcmp(&a[i], &c[i], sizeof(_fcdDiskStats)));
    };
    FcdStats viaXdr;
    memset(&viaXdr.data, 0, sizeof viaXdr.data);
    readBackXdr(x, viaXdr);
    same(r, viaXdr);
    // deserialize appends; the path constructor starts empty.
    readBackFile(dir, b, viaXdr);
    EXPECT_EQ(6u, viaXdr.size());
    std::string path = dir.file("fcd");
    writeFile(path, b);
    FcdStats fromPath(path.c_str());
    EXPECT_EQ(b, fileBytes(dir, [&](Serializer& s) { fromPath.serialize(s); }));

    FcdStats* source = new FcdStats(r);
    FcdStats five;
    fillFcdData(five, f);
    for (int i = 0; i < 5; i++) five.addDiskStats(makeDisk(f));
    FcdStats two;
    fillFcdData(two, f);
    two.addDiskStats(makeDisk(f));
    two.addDiskStats(makeDisk(f));
    five = two;
    EXPECT_EQ(2u, five.size());
    same(two, five);
    FcdStats copy(*source);
    delete source;
    same(r, copy);
}

TEST(MgmtProcStats, LayoutMaskIgnoredAndRoundTrip) {
    ScratchDir dir;
    Filler f(6);
    MgmtProcStats r;
    fillMgmt(r, f);
    r.data.version = 1;
    r.data.timestampCreated = 1000;
    r.data.tomcat.vmsize = 0x10;
    r.data.tolmstatsd.vmlib = 0x99;
    Bytes all = fileBytes(dir, [&](Serializer& s) { r.serialize(s, ALL); });
    ASSERT_EQ(152u, all.size());
    EXPECT_EQ(all, fileBytes(dir, [&](Serializer& s) { r.serialize(s, 0); }));
    EXPECT_EQ(4u, le32(all, 0));
    EXPECT_EQ(1000u, le32(all, 8));
    EXPECT_EQ(0x10u, le32(all, 12));
    EXPECT_EQ(0x99u, le32(all, 148));
    EXPECT_EQ(r.data.vldb.vmsize, le32(all, 12 + 28));
    Bytes x = xdrBytes([&](Serializer& s) { r.serialize(s, ALL); });
    EXPECT_EQ(152u, x.size());

    MgmtProcStats viaFile, viaXdr;
    memset(&viaFile.data, 0, sizeof viaFile.data);
    memset(&viaXdr.data, 0, sizeof viaXdr.data);
    readBackFile(dir, all, viaFile);
    readBackXdr(x, viaXdr);
    EXPECT_EQ(0, memcmp(&r.data, &viaFile.data, sizeof r.data));
    EXPECT_EQ(0, memcmp(&r.data, &viaXdr.data, sizeof r.data));

    NbladeStats nb;
    fillNblade(nb, f);
    EXPECT_EQ("type is not SER_MGMT", messageOf([&] {
                  readBackFile(dir, fileBytes(dir, [&](Serializer& s) { nb.serialize(s, ALL); }),
                               viaFile);
              }));
    EXPECT_EQ(0, memcmp(&r.data, &viaFile.data, sizeof r.data));
}

TEST(RecordXdr, OptionalValueEncodingAndFailures) {
    char room[4096];
    XDR x;
    xdrmem_create(&x, room, sizeof room, XDR_ENCODE);
    ASSERT_TRUE(xdr_MgmtProcStats(&x, nullptr));
    ASSERT_EQ(4u, xdr_getpos(&x));
    EXPECT_EQ(Bytes(4, 0), Bytes(room, room + 4));
    xdr_destroy(&x);

    Filler f(7);
    MgmtProcStats m;
    fillMgmt(m, f);
    xdrmem_create(&x, room, sizeof room, XDR_ENCODE);
    ASSERT_TRUE(xdr_MgmtProcStats(&x, &m));
    ASSERT_EQ(156u, xdr_getpos(&x));
    Bytes wire(room, room + 156);
    EXPECT_EQ(1u, be32(wire, 0));
    EXPECT_EQ(4u, be32(wire, 4));
    xdr_destroy(&x);

    MgmtProcStats back;
    memset(&back.data, 0, sizeof back.data);
    xdrmem_create(&x, room, 156, XDR_DECODE);
    ASSERT_TRUE(xdr_MgmtProcStats(&x, &back));
    EXPECT_EQ(0, memcmp(&m.data, &back.data, sizeof m.data));
    xdr_destroy(&x);

    // A discriminant of 0 leaves the destination untouched.
    char zero[4] = {};
    MgmtProcStats kept = back;
    xdrmem_create(&x, zero, 4, XDR_DECODE);
    ASSERT_TRUE(xdr_MgmtProcStats(&x, &back));
    EXPECT_EQ(0, memcmp(&kept.data, &back.data, sizeof kept.data));
    xdr_destroy(&x);

    // No room: the routine reports the failing primitive and returns false.
    NbladeStats nb;
    fillNblade(nb, f);
    xdrmem_create(&x, room, 12, XDR_ENCODE);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(xdr_NbladeStats(&x, &nb));
    EXPECT_EQ("Serialization Exception: write32 failed: 0\n", testing::internal::GetCapturedStderr());
    xdr_destroy(&x);
    // Freeing is a no-op that succeeds; the blade records go out whole.
    xdrmem_create(&x, room, sizeof room, XDR_FREE);
    EXPECT_TRUE(xdr_NbladeStats(&x, &nb));
    xdr_destroy(&x);
    DbladeStats db;
    fillDblade(db, f);
    xdrmem_create(&x, room, sizeof room, XDR_ENCODE);
    ASSERT_TRUE(xdr_DbladeStats(&x, &db));
    EXPECT_EQ(4u + 1220, xdr_getpos(&x));
    xdr_destroy(&x);

    // Each record type through its routine and back.
    LpStatsSet set;
    fillLpSetData(set, f);
    set.addLpStats(makeLp(f, "pool", 2));
    xdrmem_create(&x, room, sizeof room, XDR_ENCODE);
    ASSERT_TRUE(xdr_LpStatsSet(&x, &set));
    u_int len = xdr_getpos(&x);
    xdr_destroy(&x);
    LpStatsSet setBack;
    xdrmem_create(&x, room, len, XDR_DECODE);
    ASSERT_TRUE(xdr_LpStatsSet(&x, &setBack));
    xdr_destroy(&x);
    ASSERT_EQ(1u, setBack.size());
    EXPECT_EQ(2u, setBack[0].size());
    EXPECT_EQ(0, memcmp(&set[0][1].data, &setBack[0][1].data, sizeof set[0][1].data));

    FcdStats fcd;
    fillFcdData(fcd, f);
    fcd.addDiskStats(makeDisk(f));
    xdrmem_create(&x, room, sizeof room, XDR_ENCODE);
    ASSERT_TRUE(xdr_FcdStats(&x, &fcd));
    EXPECT_EQ(4u + 116, xdr_getpos(&x));
    xdr_destroy(&x);
}

}  // namespace
