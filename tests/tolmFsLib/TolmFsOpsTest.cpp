// The file operations against a scripted D-blade: the bytes of every request,
// written out by hand (little-endian, as on this host), and what the library
// makes of the replies.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "HandSegment.h"
#include "LoopbackDblade.h"
#include "TolmDir.h"
#include "TolmErr.h"
#include "TolmFile.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the expected bytes are little-endian");

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes written field by field.
struct B {
    Bytes b;
    B& u8(uint32_t v) {
        b.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    B& u16(uint32_t v) { return u8(v & 0xFF).u8((v >> 8) & 0xFF); }
    B& u32(uint32_t v) { return u16(v & 0xFFFF).u16(v >> 16); }
    B& name(const std::string& s) {
        for (char c : s)
            u8(static_cast<uint8_t>(c));
        while (b.size() % 4)
            u8(0);
        return *this;
    }
    B& zeros(size_t words) {
        for (size_t i = 0; i < words; i++)
            u32(0);
        return *this;
    }
};

// The credentials every request below carries: uid 1000, gid 100, two groups.
B shortHeader(uint16_t dchip, uint8_t params, uint16_t opcode) {
    B b;
    b.u16(dchip).u8(6).u8(params);
    b.u16(opcode).u8(2).u8(0x80);
    b.u32(1000).u32(100).u32(2).u32(5).u32(6);
    return b;
}

B longHeader(uint16_t dchip, uint8_t params, uint8_t src, uint8_t tgt, uint16_t data,
             uint16_t opcode) {
    B b;
    b.u16(dchip).u8(6).u8(params).u8(src).u8(tgt).u16(data);
    b.u16(opcode).u8(2).u8(0x80);
    b.u32(1000).u32(100).u32(2).u32(5).u32(6);
    return b;
}

B& fid(B& b, uint32_t vfs, uint32_t vnode, uint32_t unique) {
    return b.u32(vfs).u32(vnode).u32(unique);
}

// The 13 words of attributes to set used below.
tolm_set_attr_t someSetAttr() {
    tolm_set_attr_t s = {};
    s.how = 7;
    s.mode = 0644;
    s.uid = 11;
    s.gid = 12;
    s.size = 0x100000002ULL;
    s.dos_attributes = 0x20;
    s.atime_secs = 21;
    s.atime_nsecs = 22;
    s.crtime = 23;
    s.mtime_secs = 24;
    s.mtime_nsecs = 25;
    s.domainId = 0;
    return s;
}
B& setAttrWords(B& b) {
    return b.u32(7)
        .u32(0644)
        .u32(11)
        .u32(12)
        .u32(2)
        .u32(1)
        .u32(0x20)
        .u32(21)
        .u32(22)
        .u32(23)
        .u32(24)
        .u32(25)
        .u32(0);
}

class TolmFsOps : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(_d.ready());
        tolm_cred_t cred = {};
        cred.uid = 1000;
        cred.gid = 100;
        cred.domain = 2;  // ngids
        cred.generic_gids[0] = 5;
        cred.generic_gids[1] = 6;
        _file.setCred(cred);
        _dir.setCred(cred);
        _file.setNoAccessChk(1);
        _dir.setNoAccessChk(1);
    }
    Bytes last() {
        auto r = _d.requests();
        return r.empty() ? Bytes() : r.back();
    }

    LoopbackDblade _d;
    TolmFile _file{_d.vldb()};
    TolmDir _dir{_d.vldb()};
    tolm_fid_t _f = {100, 1001, 1};
    tolm_fid_t _g = {100, 1002, 1};
    tolm_attr_t _a;
};

TEST_F(TolmFsOps, EveryOperationSendsItsMessageByteForByte) {
    EXPECT_EQ(0u, _file.getAttr(&_f, &_a));
    B getAttr;
    getAttr.u16(0x48).u8(1).u8(4).u16(1).u8(0).u8(0);  // no credentials, no flags
    fid(getAttr.u32(0), 100, 1001, 1);
    EXPECT_EQ(getAttr.b, last()) << "getAttr";

    const uint8_t data[5] = {'h', 'e', 'l', 'l', 'o'};
    EXPECT_EQ(0x1000016u, _file.write(&_f, 0x100000003ULL, 5, data, &_a)) << "a count of 0 back";
    B write = longHeader(0x61, 8, 0, 0, 5, 3);
    fid(write.u32(2), 100, 1001, 1).u32(3).u32(1).u32(5).u32(0);
    for (uint8_t c : data)
        write.u8(c);
    EXPECT_EQ(write.b, last()) << "write";

    tolm_fid_t out;
    EXPECT_EQ(0u, _file.lookup(&_f, "abcde", nullptr, &out));
    B lookup = longHeader(0x4A, 5, 2, 0, 0, 4);
    fid(lookup.u32(0x10002), 100, 1001, 1).u32(5).name("abcde");
    EXPECT_EQ(lookup.b, last()) << "lookup";

    char text[TOLM_LINK_BUFFER];
    EXPECT_EQ(0u, _file.readLink(&_f, &_a, text));
    B readLink = shortHeader(0x48, 4, 5);
    fid(readLink.u32(2), 100, 1001, 1);
    EXPECT_EQ(readLink.b, last()) << "readLink";

    tolm_mountpinfo info;
    EXPECT_EQ(0u, _file.readMountPoint(&_f, &_a, &info));
    B readMount = shortHeader(0x48, 4, 5);
    fid(readMount.u32(0x80), 100, 1001, 1);
    EXPECT_EQ(readMount.b, last()) << "readMountPoint";

    char buf[100];
    uint64_t got = 0;
    _file.read(&_f, 0x200000004ULL, 100, 0x500000007ULL, &got, buf, &_a);
    B read = shortHeader(0x48, 8, 6);
    fid(read.u32(2), 100, 1001, 1).u32(4).u32(2).u32(100).u32(7);
    EXPECT_EQ(read.b, last()) << "read: read-ahead cut to its low 32 bits";

    uint32_t count;
    _dir.readDir(
        &_f, 9, &count, &_a, [](void*, const char*, uint32_t, uint32_t, uint32_t) { return 0; },
        nullptr);
    B readDir = shortHeader(0x48, 5, 7);
    fid(readDir.u32(0x200002), 100, 1001, 1).u32(9);
    EXPECT_EQ(readDir.b, last()) << "readDir";

    tolm_set_attr_t set = someSetAttr();
    EXPECT_EQ(0u, _file.create(&_f, "new", &set, 0x10000, &out, &_a, 0));
    B create = longHeader(0x72, 18, 1, 0, 0, 9);
    setAttrWords(fid(create.u32(0x10002), 100, 1001, 1)).u32(3).name("new");
    EXPECT_EQ(create.b, last()) << "create";

    // A FIFO, exclusive, without data management: type bits, 0x800 and 0x1000.
    set.mode = S_IFIFO | 0600;
    _file.setNoDm(1);
    EXPECT_EQ(0u, _file.create(&_f, "fifo", &set, 0x40000, &out, &_a, 1));
    _file.setNoDm(0);
    Bytes created = last();
    uint32_t specifier;
    memcpy(&specifier, created.data() + 8 + 4 + 20, 4);
    EXPECT_EQ(0x7000000u | 0x40000 | 0x1000 | 0x800 | 2, specifier);
    set = someSetAttr();

    EXPECT_EQ(0u, _file.remove(&_f, "gone", &_a));
    B remove = longHeader(0x72, 5, 1, 0, 0, 10);
    fid(remove.u32(8), 100, 1001, 1).u32(4).name("gone");
    EXPECT_EQ(remove.b, last()) << "remove";

    EXPECT_EQ(0u, _file.setAttr(&_f, &set, &_a));
    B setAttr = shortHeader(0x68, 20, 11);
    setAttrWords(fid(setAttr.u32(2), 100, 1001, 1)).zeros(3);
    EXPECT_EQ(setAttr.b, last()) << "setAttr";

    EXPECT_EQ(0u, _dir.mkDir(&_f, "sub", &set, &out, &_a, 0));
    B mkDir = longHeader(0x72, 18, 1, 0, 0, 13);
    setAttrWords(fid(mkDir.u32(2), 100, 1001, 1)).u32(3).name("sub");
    EXPECT_EQ(mkDir.b, last()) << "mkDir";

    EXPECT_EQ(0u, _dir.rmDir(&_f, "sub", &_a));
    B rmDir = longHeader(0x72, 5, 1, 0, 0, 14);
    fid(rmDir.u32(8), 100, 1001, 1).u32(3).name("sub");
    EXPECT_EQ(rmDir.b, last()) << "rmDir";
    EXPECT_EQ(10, TolmVldb::getRf()->defaultCallTimeoutSecs) << "back to 10 s after rmDir";

    EXPECT_EQ(0u, _file.rename(&_f, &_g, "from", "target", &_a));
    B rename = longHeader(0x7E, 9, 1, 2, 0, 16);
    fid(fid(rename.u32(2), 100, 1001, 1), 100, 1002, 1).u32(4).u32(6).name("from").name("target");
    EXPECT_EQ(rename.b, last()) << "rename";

    EXPECT_EQ(0u, _file.link(&_f, &_g, "alias", &_a, 0));
    B link = longHeader(0x72, 8, 2, 0, 0, 17);
    fid(fid(link.u32(2), 100, 1001, 1), 100, 1002, 1).u32(5).name("alias");
    EXPECT_EQ(link.b, last()) << "link";

    EXPECT_EQ(0u, _file.configureDM(3, 1));
    B configure = shortHeader(0x00, 3, 43);
    configure.u32(0x1000).u32(3).u32(1);
    EXPECT_EQ(configure.b, last()) << "configureDM";

    EXPECT_EQ(0u, _file.setattrDM(&_f, 4, 5, 6));
    B setattrDM = shortHeader(0x68, 7, 44);
    fid(setattrDM.u32(0x1000), 100, 1001, 1).u32(4).u32(5).u32(6);
    EXPECT_EQ(setattrDM.b, last()) << "setattrDM";
}

TEST_F(TolmFsOps, AttributesComeOutOfTheirWordsByHand) {
    // The 15 words of a getAttr reply after the status, written out by hand.
    B r;
    r.u32(0);
    r.u32(0x02ABCDEF);                     // uniquifier 0xABCDEF, file type 2 (directory)
    r.u32(0x7F000005);                     // links 5, high attributes 0x7F
    r.u32(0x41ED0020);                     // low attributes 0x20, mode 040755
    r.u32(1000).u32(100).u32(1796600000);  // uid, gid, atime
    r.u32(0x00000002).u32(0x00000001);     // length 0x100000002
    r.u32(11).u32(12).u32(13).u32(14);     // ctime, mtime (seconds, nanoseconds)
    r.u32(0x00000009).u32(0x00300000);     // blocks 9, domain id 3 (bits 52-63)
    r.u32(1796500000);                     // crtime
    _d.queueReply(r.b);
    ASSERT_EQ(0u, _file.getAttr(&_f, &_a));
    EXPECT_EQ(0xABCDEFu, _a.uniquifier);
    EXPECT_EQ(2, _a.filetype);
    EXPECT_EQ(5u, _a.links);
    EXPECT_EQ(0x7F, _a.high_attrs);
    EXPECT_EQ(0x20, _a.low_attrs);
    EXPECT_EQ(040755, _a.mode);
    EXPECT_EQ(1000u, _a.uid);
    EXPECT_EQ(100u, _a.gid);
    EXPECT_EQ(1796600000u, _a.atime);
    EXPECT_EQ(0x100000002ULL, _a.length);
    EXPECT_EQ(11u, _a.ctime_secs);
    EXPECT_EQ(12u, _a.ctime_nsecs);
    EXPECT_EQ(13u, _a.mtime_secs);
    EXPECT_EQ(14u, _a.mtime_nsecs);
    EXPECT_EQ(9u, _a.blocks);
    EXPECT_EQ(3, _a.domainId);
    EXPECT_EQ(1796500000u, _a.crtime);
}

TEST_F(TolmFsOps, ArgumentsAreCheckedBeforeAnythingIsSent) {
    tolm_fid_t other = {200, 5, 1};
    tolm_fid_t out;
    tolm_set_attr_t set = someSetAttr();
    EXPECT_EQ(0x1000001u, _file.getAttr(nullptr, &_a));
    EXPECT_EQ(0x1000001u, _file.lookup(&_f, nullptr, nullptr, &out));
    EXPECT_EQ(0x1000013u, _file.create(&_f, "", &set, 0x10000, &out, &_a, 0));
    EXPECT_EQ(0x1000005u, _file.create(&_f, "x", &set, 0x30000, &out, &_a, 0));
    EXPECT_EQ(0x1000004u, _file.remove(&_f, "/x", &_a));
    EXPECT_EQ(0x1000007u, _file.rename(&_f, &other, "a", "b", &_a));
    EXPECT_EQ(0x1000008u, _file.link(&_f, &other, "a", &_a, 0));
    EXPECT_EQ(0x1000002u, _file.lookup(&_f, std::string(5632, 'p').c_str(), nullptr, &out));
    tolm_cred_t cred = {};
    cred.domain = 1u << 16;  // domain id 1
    _file.setCred(cred);
    EXPECT_EQ(0x1000018u, _file.getAttr(&_f, &_a)) << "no credentials are sent, yet refused";
    EXPECT_EQ(0x1000018u, _file.remove(&_f, "x", &_a));
    EXPECT_TRUE(_d.requests().empty());
}

Bytes status(uint32_t word, size_t zeroWords = 24) {
    B b;
    b.u32(word).zeros(zeroWords);
    return b.b;
}

TEST_F(TolmFsOps, ReadsAndWritesGoInPiecesOf8192Bytes) {
    std::vector<uint8_t> data(20000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<uint8_t>(i * 7);
    // Each reply: the count, 15 words of attributes; a read's bytes follow.
    for (uint32_t n : {8192u, 8192u, 3616u})
        _d.queueReply(status(n << 8, 15));
    EXPECT_EQ(0u, _file.write(&_f, 10, data.size(), data.data(), &_a));
    auto reqs = _d.requests();
    ASSERT_EQ(3u, reqs.size());
    uint32_t offsets[] = {10, 10 + 8192, 10 + 16384};
    uint32_t counts[] = {8192, 8192, 3616};
    for (int i = 0; i < 3; i++) {
        uint32_t off;
        uint32_t cnt;
        memcpy(&off, reqs[i].data() + 32 + 16, 4);
        memcpy(&cnt, reqs[i].data() + 32 + 24, 4);
        EXPECT_EQ(offsets[i], off) << i;
        EXPECT_EQ(counts[i], cnt) << i;
        EXPECT_EQ(0, memcmp(reqs[i].data() + 32 + 32, data.data() + (offsets[i] - 10), cnt)) << i;
    }

    // Reading: the third piece comes short with the end flag.
    _d.clear();
    size_t at = 0;
    for (uint32_t n : {8192u, 8192u, 3000u}) {
        B r;
        r.u32((n << 8) | (n < 8192 ? 0x20 : 0)).zeros(15);
        for (uint32_t i = 0; i < n; i++)
            r.u8(data[at + i]);
        at += n;
        _d.queueReply(r.b);
    }
    std::vector<uint8_t> back(20000, 0xEE);
    uint64_t got = 0;
    EXPECT_EQ(0x1000006u, _file.read(&_f, 0, back.size(), 0, &got, back.data(), &_a));
    EXPECT_EQ(19384u, got);
    EXPECT_EQ(0, memcmp(back.data(), data.data(), 19384));
    EXPECT_EQ(0xEE, back[19384]) << "nothing written past what came";
    reqs = _d.requests();
    ASSERT_EQ(3u, reqs.size());
    uint32_t cnt;
    memcpy(&cnt, reqs[2].data() + 28 + 24, 4);  // short form: parameters at 28
    EXPECT_EQ(3616u, cnt);

    // A reply claiming more than was asked is refused.
    _d.clear();
    _d.queueReply(status(9000u << 8, 15));
    EXPECT_EQ(0x1000016u, _file.read(&_f, 0, 8192, 0, &got, back.data(), &_a));
}

TEST_F(TolmFsOps, BusyIsRetriedThreeTimesAndErrorsKeepTheirCode) {
    tolm_fid_t out;
    auto failure = [](uint32_t code) { return status(1 | (code << 8)); };
    for (int i = 0; i < 3; i++)
        _d.queueReply(failure(288));
    EXPECT_EQ(0u, _file.getAttr(&_f, &_a));
    EXPECT_EQ(4u, _d.requests().size());
    _d.clear();
    _d.queueReply(failure(292));
    _d.queueReply(failure(295));
    _d.queueReply(failure(288));
    _d.queueReply(failure(288));
    EXPECT_EQ(0x2000120u, _file.getAttr(&_f, &_a)) << "a fourth busy is the answer";
    EXPECT_EQ(4u, _d.requests().size());
    _d.clear();
    // Stand-alone: an offline VFS is not asked about again.
    _d.queueReply(failure(287));
    EXPECT_EQ(0x200011Fu, _file.getAttr(&_f, &_a));
    EXPECT_EQ(1u, _d.requests().size());
    _d.queueReply(failure(0x102));
    EXPECT_EQ(0x2000102u, _file.lookup(&_f, "missing", nullptr, &out));
    _d.queueReply(Bytes{0, 0});
    EXPECT_EQ(0x1000016u, _file.getAttr(&_f, &_a)) << "a reply without a status word";
}

using Segment = HandSegment;

// A directory read reply: the status (its count in bytes, or `count` when
// given), 15 words of attributes, the segments.
Bytes dirReply(const std::vector<Segment>& segs, bool end, int64_t count = -1) {
    B r;
    uint32_t n =
        count < 0 ? static_cast<uint32_t>(segs.size() * 2048) : static_cast<uint32_t>(count);
    r.u32(n << 8 | (end ? 0x20 : 0)).zeros(15);
    for (const Segment& s : segs)
        r.b.insert(r.b.end(), s.b.begin(), s.b.end());
    return r.b;
}

struct Seen {
    std::vector<std::string> names;
    std::vector<uint32_t> inodes;
    std::vector<uint32_t> flags;
    size_t stopAfter = 1000;
};

int collect(void* arg, const char* name, uint32_t inode, uint32_t uniq, uint32_t flags) {
    Seen* s = static_cast<Seen*>(arg);
    s->names.push_back(name);
    s->inodes.push_back(inode * 10 + uniq);
    s->flags.push_back(flags);
    return s->names.size() >= s->stopAfter ? 1 : 0;
}

TEST_F(TolmFsOps, DirectoryReadsDecodeNameSegments) {
    // Short names at entries 5, 1 and 63 (written out of order): index order back.
    Segment one;
    one.entry(5, "five", 50, 1, 0);
    one.entry(1, "one-sixteen-byte", 10, 2, 7);
    one.entry(63, "last", 630, 3, 0);
    one.mask((1ULL << 1) | (1ULL << 5) | (1ULL << 63));
    // A 40-byte name over three entries, in a second segment of the next reply.
    std::string forty = "0123456789abcdef0123456789ABCDEF01234567";
    Segment two;
    two.entry(2, forty, 20, 0, 0, 40);
    two.more(40, forty.substr(16, 16), 41);
    two.more(41, forty.substr(32));
    two.mask(1ULL << 2);
    _d.queueReply(dirReply({one}, false));
    _d.queueReply(dirReply({two}, true));
    Seen seen;
    uint32_t count = 0;
    EXPECT_EQ(0x1000006u, _dir.readDir(&_f, 0, &count, &_a, collect, &seen));
    EXPECT_EQ((std::vector<std::string>{"one-sixteen-byte", "five", "last", forty}), seen.names);
    EXPECT_EQ((std::vector<uint32_t>{102, 501, 6303, 200}), seen.inodes);
    EXPECT_EQ(7u, seen.flags[0]);
    EXPECT_EQ(4u, count);
    auto reqs = _d.requests();
    ASSERT_EQ(2u, reqs.size());
    uint32_t cookie;
    memcpy(&cookie, reqs[1].data() + reqs[1].size() - 4, 4);
    EXPECT_EQ(1u, cookie) << "the second request starts after the segment delivered";

    // A callback that stops, a segment of another type, a broken one.
    _d.clear();
    _d.queueReply(dirReply({one}, true));
    Seen stop;
    stop.stopAfter = 2;
    EXPECT_EQ(0x100001au, _dir.readDir(&_f, 0, &count, &_a, collect, &stop));
    EXPECT_EQ(2u, stop.names.size());
    _d.queueReply(dirReply({Segment(1)}, true));
    EXPECT_EQ(0x1000019u, _dir.readDir(&_f, 0, &count, &_a, collect, &seen));
    Segment broken;
    broken.entry(2, forty, 20, 0, 0, 40);  // its extension chain ends at entry 40
    broken.mask(1ULL << 2);
    _d.queueReply(dirReply({broken}, true));
    EXPECT_EQ(0x1000016u, _dir.readDir(&_f, 0, &count, &_a, collect, &seen));
    // A reply's segments are its bytes after the first 64: a count in
    // segments (1 for 2048 bytes) is as good as one in bytes, while bytes that
    // are not whole segments are refused (more than the 9216-byte buffer: in
    // TolmFsReplyTest, as no Rf packet carries that much).
    Seen units;
    _d.queueReply(dirReply({one}, false, 1));
    _d.queueReply(dirReply({two}, true, 1));
    EXPECT_EQ(0x1000006u, _dir.readDir(&_f, 0, &count, &_a, collect, &units));
    EXPECT_EQ(seen.names, units.names);
    Bytes ragged = dirReply({one}, true);
    ragged.resize(ragged.size() - 4);
    _d.queueReply(ragged);
    EXPECT_EQ(0x1000016u, _dir.readDir(&_f, 0, &count, &_a, collect, &seen));
    // A reply with neither segments nor the end flag would be asked for ever.
    _d.queueReply(dirReply({}, false));
    EXPECT_EQ(0x1000016u, _dir.readDir(&_f, 0, &count, &_a, collect, &seen));
    // An empty directory.
    _d.queueReply(dirReply({}, true));
    Seen none;
    EXPECT_EQ(0x1000006u, _dir.readDir(&_f, 0, &count, &_a, collect, &none));
    EXPECT_TRUE(none.names.empty());
}

// The time-outs of the client's calls outstanding on the Rf instance (each
// with the engine's slack added), read while a request is being served.
std::vector<int32_t> outstandingTimeouts() {
    std::vector<int32_t> out;
    Rf* rf = TolmVldb::getRf();
    for (int i = 0; i < RF_MAX_CLIENT_CALLS; i++)
        if (rf->clientCalls[i].running)
            out.push_back(rf->clientCalls[i].timeoutSecs);
    return out;
}

TEST_F(TolmFsOps, RemovingADirectoryWaitsLongInItsOwnCallOnly) {
    std::vector<int32_t> seen;
    _d.onRequest([&] { seen = outstandingTimeouts(); });
    _d.vldb()->setRfDefaultCallTimeout(7);
    tolm_fid_t dir = {100, 27, 0};
    ASSERT_EQ(0u, _dir.rmDir(&dir, "old", &_a));
    ASSERT_EQ(1u, seen.size());
    int32_t slack = seen[0] - TolmDir::kRmDirTimeoutSecs;
    EXPECT_GE(slack, 0) << "rmDir waited " << seen[0] << " s";
    EXPECT_EQ(7, TolmVldb::getRf()->defaultCallTimeoutSecs)
        << "the default every other call sees is left as it was";
    ASSERT_EQ(0u, _file.getAttr(&_f, &_a));
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(7 + slack, seen[0]) << "other calls wait the default";

    // Time-outs of the user's: rmDir waits as every call does.
    _d.vldb()->setUserSpecificRfTimeouts(1);
    ASSERT_EQ(0u, _dir.rmDir(&dir, "old", &_a));
    ASSERT_EQ(1u, seen.size());
    EXPECT_EQ(7 + slack, seen[0]);
    _d.vldb()->setUserSpecificRfTimeouts(0);
    _d.vldb()->setRfDefaultCallTimeout(TolmVldb::kRfDefaultCallTimeoutSecs);
    _d.onRequest(nullptr);
}

Bytes lookupReply(uint32_t word, tolm_fid_t f, const std::string& text) {
    B r;
    r.u32(word)
        .u32(f.vfs)
        .u32(f.vnode)
        .u32(f.unique)
        .zeros(15)
        .u32(static_cast<uint32_t>(text.size()))
        .name(text);
    return r.b;
}

Bytes linkReply(const std::string& text) {
    B r;
    r.u32(static_cast<uint32_t>(text.size()) << 8).zeros(15);
    for (char c : text)
        r.u8(static_cast<uint8_t>(c));
    return r.b;
}

std::string lookupName(const Bytes& req) {
    uint32_t len;
    memcpy(&len, req.data() + 32 + 16, 4);
    return std::string(reinterpret_cast<const char*>(req.data()) + 32 + 20, len);
}

TEST_F(TolmFsOps, LookupGoesComponentByComponentAndFollowsLinks) {
    tolm_fid_t out;
    tolm_fid_t root = {100, 27, 0};
    _d.queueReply(lookupReply(0, {100, 1, 1}, ""));
    _d.queueReply(lookupReply(0, {100, 2, 1}, ""));
    _d.queueReply(lookupReply(0, {100, 3, 1}, ""));
    EXPECT_EQ(0u, _file.lookup(&root, "a/b//c/", nullptr, &out));
    EXPECT_EQ(3u, out.vnode);
    auto reqs = _d.requests();
    ASSERT_EQ(3u, reqs.size());
    EXPECT_EQ("a", lookupName(reqs[0]));
    EXPECT_EQ("c", lookupName(reqs[2]));
    uint32_t dirVnode;
    memcpy(&dirVnode, reqs[2].data() + 32 + 8, 4);
    EXPECT_EQ(2u, dirVnode) << "each component is looked up in the one before";
    _d.clear();
    EXPECT_EQ(0u, _file.lookup(&root, "/", nullptr, &out));
    EXPECT_EQ(27u, out.vnode);
    EXPECT_TRUE(_d.requests().empty());

    // "l" is a link to "x/y": the path goes on as x/y/rest.
    _d.queueReply(lookupReply(1 | (257 << 8), {100, 7, 1}, ""));
    _d.queueReply(linkReply("x/y"));
    _d.queueReply(lookupReply(0, {100, 8, 1}, ""));
    _d.queueReply(lookupReply(0, {100, 9, 1}, ""));
    _d.queueReply(lookupReply(0, {100, 10, 1}, ""));
    EXPECT_EQ(0u, _file.lookup(&root, "l/rest", nullptr, &out));
    EXPECT_EQ(10u, out.vnode);
    reqs = _d.requests();
    ASSERT_EQ(5u, reqs.size());
    EXPECT_EQ("x", lookupName(reqs[2]));
    EXPECT_EQ("rest", lookupName(reqs[4]));
    // Not following: the link itself.
    _d.clear();
    _d.queueReply(lookupReply(1 | (257 << 8), {100, 7, 1}, ""));
    EXPECT_EQ(0u, _file.lookup(&root, "l/rest", 0, nullptr, &out));
    EXPECT_EQ(7u, out.vnode);
    // An absolute target is handed out.
    _d.queueReply(lookupReply(1 | (257 << 8), {100, 7, 1}, ""));
    _d.queueReply(linkReply("/elsewhere"));
    char* abs = nullptr;
    EXPECT_EQ(0x1000003u, _file.lookup(&root, "l", &abs, &out));
    ASSERT_NE(nullptr, abs);
    EXPECT_STREQ("/elsewhere", abs);
    free(abs);

    // Mount points (262) and mounted-at roots (283): the rest of the path
    // goes on from the fid of the reply (stand-alone: its VFS kept); not
    // following, the mount point itself.
    for (uint32_t code : {262u, 283u}) {
        _d.clear();
        _d.queueReply(lookupReply(1 | (code << 8), {100, 27, 0}, "other"));
        _d.queueReply(lookupReply(0, {100, 12, 1}, ""));
        EXPECT_EQ(0u, _file.lookup(&root, "m/inside", nullptr, &out)) << code;
        EXPECT_EQ(12u, out.vnode) << code;
        reqs = _d.requests();
        ASSERT_EQ(2u, reqs.size()) << code;
        EXPECT_EQ("inside", lookupName(reqs[1])) << code;
        _d.clear();
        _d.queueReply(lookupReply(1 | (code << 8), {100, 27, 0}, "other"));
        EXPECT_EQ(0u, _file.lookup(&root, "m/inside", 0, nullptr, &out)) << code;
        EXPECT_EQ(27u, out.vnode) << code;
    }

    // Links to each other: the 255th crossing fails.
    _d.clear();
    for (int i = 0; i < 255; i++) {
        _d.queueReply(lookupReply(1 | (257 << 8), {100, 7, 1}, ""));
        if (i < 254)
            _d.queueReply(linkReply("l"));
    }
    EXPECT_EQ(0x1000011u, _file.lookup(&root, "l", nullptr, &out));
    EXPECT_EQ(255u + 254u, _d.requests().size());
}

}  // namespace
