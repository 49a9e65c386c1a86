// The N-blade statistics-file collectors: the line parser, buffer growth, and
// every collector's line table against files in which every line carries a
// value of its own.

#include <gtest/gtest.h>
#include <syslog.h>

#include <cctype>
#include <cstddef>
#include <fstream>
#include <memory>
#include <vector>

#include "DoubleColLineDesc.h"
#include "GrowingRead.h"
#include "NbladeStatsCollector.h"
#include "NbladeTestUtil.h"
#include "RecordTestUtil.h"
#include "SLogger.h"
#include "SingleColExplicitLineDesc.h"
#include "SingleColLineDesc.h"

namespace {

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A sub-record of four 32-bit and two 64-bit fields to parse into.
struct Probe {
    uint32_t a, b, c, d;
    uint64_t wide1, wide2;
};

// A file collector with a table chosen by the test.
class ProbeCollector : public NbladeFileStatsCollector {
public:
    ProbeCollector(const std::string& path, int32_t size) : NbladeFileStatsCollector(path, size) {}
    void add(const char* name, LineDesc* d) { addLine(name, d); }
    void populate(nblade_data_t*) override {}
    Probe fill(const std::string& text) {
        writeText(filename(), text);
        Probe p = {};
        _populate(&p);
        return p;
    }
};

// Collects the debug messages logged while it lives.
class LogCapture {
public:
    LogCapture() {
        SLogger::setObserver([this](int priority, const std::string& text) {
            if (priority == LOG_DEBUG) messages.push_back(text);
        });
    }
    ~LogCapture() { SLogger::setObserver(nullptr); }
    std::vector<std::string> messages;
};

}  // namespace

TEST(NbladeFileParser, NumbersNamesAndMalformedLines) {
    ScratchDir dir;
    ProbeCollector c(dir.file("probe"), 1024);
    c.add("Hits", new SingleColLineDesc<unsigned int>(offsetof(Probe, a)));
    c.add("Mount Cache Hits", new SingleColLineDesc<unsigned int>(offsetof(Probe, b)));
    c.add("Two  Blanks", new SingleColLineDesc<unsigned int>(offsetof(Probe, c)));
    c.add("Tab\tName", new SingleColLineDesc<unsigned int>(offsetof(Probe, d)));
    c.add("Wide", new SingleColLineDesc<unsigned long long>(offsetof(Probe, wide1)));
    c.add("Explicit", new SingleColExplicitLineDesc(offsetof(Probe, wide2), 8));

    EXPECT_EQ(c.fill("Hits 12\n").a, 12u);
    EXPECT_EQ(c.fill("Hits 0x10\n").a, 16u);
    EXPECT_EQ(c.fill("Hits 010\n").a, 8u);
    EXPECT_EQ(c.fill("Hits\t\t  7   \n").a, 7u);

    // Names of several words keep the delimiters that stand between them.
    Probe p = c.fill("Mount Cache Hits 5\nTwo  Blanks 6\nTwo Blanks 99\nTab\tName 9\n");
    EXPECT_EQ(p.b, 5u);
    EXPECT_EQ(p.c, 6u);
    EXPECT_EQ(p.d, 9u);

    // 32-bit destinations keep the low half; 64-bit ones all of it.
    p = c.fill("Hits 4294967296\nWide 4294967301\nExplicit 0x123456789a\n");
    EXPECT_EQ(p.a, 0u);
    EXPECT_EQ(p.wide1, 4294967301ull);
    EXPECT_EQ(p.wide2, 0x123456789aull);

    // Lines apply in file order: the later of two writes wins.
    EXPECT_EQ(c.fill("Hits 1\nHits 2\n").a, 2u);

    {
        LogCapture log;
        // Text after a value drops the whole line, with one message naming
        // the file; the lines around it still apply.
        p = c.fill("Hits 3\nWide 1 word 2\nMount Cache Hits 4\n");
        EXPECT_EQ(p.a, 3u);
        EXPECT_EQ(p.wide1, 0u);
        EXPECT_EQ(p.b, 4u);
        ASSERT_EQ(log.messages.size(), 1u);
        EXPECT_EQ(log.messages[0], "discarding tokens from file " + dir.file("probe"));
    }

    // An unterminated last line is not applied, a name alone or an unknown
    // name changes nothing.
    p = c.fill("Hits 3\nMount Cache Hits 4");
    EXPECT_EQ(p.a, 3u);
    EXPECT_EQ(p.b, 0u);
    p = c.fill("Hits\nNobody 5\nhits 6\n");
    EXPECT_EQ(p.a, 0u);

    {
        LogCapture log;
        // A carriage return makes the token before it a word: with one number
        // the line has no value, with two it is malformed.
        p = c.fill("Hits 12\r\n");
        EXPECT_EQ(p.a, 0u);
        EXPECT_TRUE(log.messages.empty());
        p = c.fill("Hits 12 13\r\n");
        EXPECT_EQ(p.a, 0u);
        EXPECT_EQ(log.messages.size(), 1u);
    }

    // A missing file or an empty one leaves the sub-record as it was.
    EXPECT_EQ(c.fill("").a, 0u);
    unlink(dir.file("probe").c_str());
    Probe untouched = {7, 7, 7, 7, 7, 7};
    c._populate(&untouched);
    EXPECT_EQ(untouched.a, 7u);
    EXPECT_LT(c.readFile(), 0);
}

TEST(NbladeFileParser, DoubleColumnDescriptors) {
    ScratchDir dir;
    ProbeCollector c(dir.file("probe"), 1024);
    c.add("Both", new DoubleColLineDesc<unsigned int>(offsetof(Probe, a), offsetof(Probe, b)));
    c.add("First", new DoubleColLineDesc<unsigned int>(offsetof(Probe, c), -1));
    Probe p = c.fill("Both 7 9 11\nFirst 5 6 8\n");
    EXPECT_EQ(p.a, 7u);
    EXPECT_EQ(p.b, 9u);
    EXPECT_EQ(p.c, 5u);
    // Neither the ignored second column nor any third column lands anywhere.
    EXPECT_EQ(p.d, 0u);
    EXPECT_EQ(p.wide1, 0u);
    EXPECT_EQ(p.wide2, 0u);
}

TEST(NbladeFileParser, BufferGrowsAndKeepsTheData) {
    ScratchDir dir;
    ProbeCollector c(dir.file("probe"), 16);
    c.add("Hits", new SingleColLineDesc<unsigned int>(offsetof(Probe, a)));
    c.add("Last", new SingleColLineDesc<unsigned int>(offsetof(Probe, b)));

    // Exactly the initial capacity: the first read fills it, the second
    // returns nothing, and the capacity has doubled.
    std::string exact = "Hits 1234567890\n";
    ASSERT_EQ(exact.size(), 16u);
    Probe p = c.fill(exact);
    EXPECT_EQ(p.a, 1234567890u);
    EXPECT_EQ(c.capacity(), 32);

    // Far beyond it: the data read stays contiguous over several doublings.
    std::string big;
    for (int i = 0; i < 40; i++) big += "Padding line " + std::to_string(i) + "\n";
    big += "Hits 77\nLast 78\n";
    p = c.fill(big);
    EXPECT_EQ(p.a, 77u);
    EXPECT_EQ(p.b, 78u);
    int32_t grown = c.capacity();
    EXPECT_GE(grown, static_cast<int32_t>(big.size()));
    EXPECT_EQ(std::string(c.buffer(), big.size()), big);

    // A grown buffer is kept for a file of about the same size...
    std::string smaller = big.substr(big.size() / 3);
    EXPECT_EQ(c.fill(smaller).a, 77u);
    EXPECT_EQ(c.capacity(), grown);
    // ...and shrinks back once the file needs a quarter of it or less.
    EXPECT_EQ(c.fill("Hits 5\n").a, 5u);
    EXPECT_EQ(c.capacity(), 16);
    EXPECT_EQ(c.fill(exact).a, 1234567890u);
    EXPECT_EQ(c.capacity(), 32);
}

TEST(NbladeFileParser, ReadStopsAtTheCeilingWithOneMessagePerChange) {
    ScratchDir dir;
    // The growing read itself, with a small ceiling.
    std::string path = dir.file("growing");
    int32_t size = 8;
    char* buf = new char[size];
    bool cut = false;
    std::string hundred(100, 'x');
    for (int i = 0; i < 100; i++) hundred[i] = static_cast<char>('a' + i % 26);
    writeText(path, hundred);
    EXPECT_EQ(readGrowing(path.c_str(), buf, size, 8, &cut, 64), 64);
    EXPECT_TRUE(cut);
    EXPECT_EQ(size, 64);
    EXPECT_EQ(std::string(buf, 64), hundred.substr(0, 64));
    writeText(path, hundred.substr(0, 64));
    EXPECT_EQ(readGrowing(path.c_str(), buf, size, 8, &cut, 64), 64);
    EXPECT_FALSE(cut) << "a file of exactly the ceiling is whole";
    EXPECT_EQ(readGrowing((path + ".missing").c_str(), buf, size, 8, &cut, 64), -1);
    delete[] buf;

    // A statistics file above the real ceiling: read up to it, one error; the
    // same again logs nothing; back to normal, one notice and a small buffer.
    std::vector<std::pair<int, std::string>> logged;
    SLogger::setObserver([&](int priority, const std::string& text) {
        if (priority <= LOG_NOTICE) logged.emplace_back(priority, text);
    });
    ProbeCollector c(dir.file("huge"), 1024);
    c.add("Hits", new SingleColLineDesc<unsigned int>(offsetof(Probe, a)));
    std::string line = "Padding 1\n";
    std::string huge;
    huge.reserve(kGrowingReadCeiling + 1024 * 1024);
    huge = "Hits 42\n";
    while (huge.size() < static_cast<size_t>(kGrowingReadCeiling) + 1024 * 1024) huge += line;
    huge += "Hits 43\n";
    EXPECT_EQ(c.fill(huge).a, 42u) << "the line beyond the ceiling was read";
    EXPECT_EQ(c.capacity(), kGrowingReadCeiling);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].first, LOG_ERR);
    EXPECT_NE(logged[0].second.find("larger than 16777216 bytes"), std::string::npos);
    EXPECT_EQ(c.fill(huge).a, 42u);
    EXPECT_EQ(logged.size(), 1u);
    EXPECT_EQ(c.fill("Hits 5\n").a, 5u);
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_EQ(logged[1].first, LOG_NOTICE);
    EXPECT_EQ(c.capacity(), 1024);
    SLogger::setObserver(nullptr);
}

namespace {

// One line of a collector's table as the test knows it: the line name, the
// field it fills (empty: the name with its first letter in lower case), the
// field of a second column, and whether the destination is 64 bits wide.
struct Line {
    const char* name;
    const char* field;
    const char* field2;
    bool wide;
};

std::string fieldOf(const Line& l) {
    if (l.field[0] != '\0') return l.field;
    std::string f = l.name;
    f[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(f[0])));
    return f;
}

const std::vector<Line> kBcp = {
    {"freeBuffersPool0", "freeBufferPool0", "", false},
    {"freeBuffersPool1", "", "", false},
    {"freeBuffersPool2", "", "", false},
    {"cmdsTimedOut", "", "", false},
    {"BcpAuthenticateTim", "authenticateTimeout", "", false},
    {"BcpScpConnectTimeO", "scpConnectTimeout", "", false},
    {"BcpScpConfigTimeOu", "scpConfigTimeout", "", false},
    {"BcpRpcServicesTime", "rpcServicesTimeout", "", false},
    {"BcpSidCacheTimeOut", "sidCacheTimeOut", "", false},
    {"BcpTolmAuthTimeOut", "tolmAuthTimeOut", "", false},
    {"BcpNetGroupTimeOut", "netGroupTimeOut", "", false},
    {"BcpExportTimeOut", "exportTimeOut", "", false},
    {"BcpVldbTimeOut", "vldbTimeOut", "", false},
    {"BcpRpcGssTimeOut", "rpcGssTimeOut", "", false},
    {"BcpNoBuffersCnt", "noBuffersCnt", "", false},
    {"BcpToScpStuck", "toScpStuck", "", false},
    {"BcpToStreamStuck", "toStreamStuck", "", false},
    {"BcpAllocFailures", "allocFailures", "", false},
};
const std::vector<Line> kExports = {
    {"requests", "", "", false},  {"denials", "", "", false},   {"freechunks", "", "", false},
    {"cachehit", "", "", false},  {"cachemiss", "", "", false}, {"activesets", "", "", false},
};
const std::vector<Line> kLeaseConn = {
    {"NormalMapOperation", "", "", false}, {"NonAsyncOpen", "", "", false},
    {"AsyncOpen", "", "", false},          {"AsyncOpenCallback", "", "", false},
    {"AsyncStateChange", "", "", false},   {"AsyncStateCloseConn", "", "", false},
};
const std::vector<Line> kMountCache = {
    {"Hits", "", "", false},     {"Misses", "", "", false},          {"Failures", "", "", false},
    {"Bypasses", "", "", false}, {"DynamicBypasses", "", "", false}, {"OversizeBypasses", "", "", false},
    {"ActiveBuckets", "", "", false}, {"ActiveEntries", "", "", false},
};
const std::vector<Line> kMountpointCache = {
    {"AddEntry", "", "", false},    {"EntryNotReady", "", "", false}, {"AttachTolmFid", "", "", false},
    {"ReattachTolmFid", "", "", false}, {"RemoveEntry", "", "", false}, {"ForceRemove", "", "", false},
    {"Hit", "", "", false},
};
const std::vector<Line> kPacket = {
    {"tolmPacketsAllocated", "", "", false},
    {"tolmPacketsMax", "", "", false},
    {"udpRedDrops", "", "", false},
};
const std::vector<Line> kRa = {
    {"connsInUse", "", "", false},           {"execsInUse", "", "", false},
    {"chansInUse", "", "", false},           {"smallsInUse", "", "", false},
    {"largesInUse", "", "", false},          {"smallsReserved", "", "", false},
    {"largesReserved", "", "", false},       {"allocatedSmalls", "", "", false},
    {"allocatedLarges", "", "", false},      {"descsInUse", "", "", false},
    {"descsReserved", "", "", false},        {"pagesInUse", "", "", false},
    {"blockedForRa", "", "", false},         {"blockedForExecs", "", "", false},
    {"blockedForExecsQuota", "", "", false}, {"blockedForOutput", "", "", false},
    {"sumBlockedForExecs", "", "", true},    {"sumBlockedForExecsQuota", "", "", true},
    {"sumDroppedReqDueToExecs", "", "", true}, {"sumStallReqDueToExecs", "", "", true},
    {"sumAllocExecFailNoExecs", "", "", true}, {"sumAllocExecFailNoLrgs", "", "", true},
    {"deferredForOutput", "", "", true},     {"deferredForSocket", "", "", true},
    {"workElementsAllocd", "", "", false},   {"workElementsAllocdMax", "", "", false},
    {"withheldExecContexts", "", "", false}, {"withheldChannels", "", "", false},
    {"withheldConnections", "", "", false},  {"withheldLargeBufs", "", "", false},
    {"withheldSmallBufs", "", "", false},
};
const std::vector<Line> kReplayCache = {
    {"Found", "", "", false}, {"Queued", "", "", false},      {"Allocated", "", "", false},
    {"Full", "", "", false},  {"BlockedXmit", "", "", false},
};
const std::vector<Line> kRootCache = {
    {"Hits", "", "", false},
    {"Misses", "", "", false},
    {"Failures", "", "", false},
    {"Bypasses", "", "", false},
};
const std::vector<Line> kScp = {
    {"AuthCallsUpcalls", "", "", false},
    {"AuthCallsReturned", "", "", false},
    {"AuthCallsReturnedValid", "", "", false},
    {"SidTransModuleCalls", "", "", false},
    {"SidTransModuleCallsRetur", "sidTransModuleCallsReturned", "", false},
    {"SidTransUpcalls", "", "", false},
    {"SidTransCallsReturned", "", "", false},
    {"CifsVldbUpcalls", "", "", false},
    {"CifsVldbCallsReturned", "", "", false},
    {"UpCalls", "", "", false},
    {"SuccessCallbacks", "", "", false},
    {"FailCallbacks", "", "", false},
    {"VldbVfsLookups", "", "", false},
    {"VldbVfsLookupSuccesses", "", "", false},
    {"VldbVfsLookupFailures", "", "", false},
    {"VldbRootLookups", "", "", false},
    {"VldbRootLookupSuccesses", "", "", false},
    {"VldbRootLookupFailures", "", "", false},
    {"VldbMountpointLookups", "", "", false},
    {"VldbMountpointLookupSucc", "vldbMountpointLookupSuccesses", "", false},
    {"VldbMountpointLookupFail", "vldbMountpointLookupFailures", "", false},
};
const std::vector<Line> kSidCache = {
    {"Lookups", "", "lookups2", false}, {"Misses", "", "", false},
    {"Waiting", "", "", false},         {"CacheEntries", "", "", false},
    {"TossedForNoEntries", "", "", false}, {"TossedForFullBucket", "", "", false},
};
const std::vector<Line> kTolmXmitDescs = {
    {"Curr/Max", "current", "max", false},
    {"UpcallDrops", "", "", false},
};
const std::vector<Line> kTransport = [] {
    std::vector<Line> t;
    for (const char* n :
         {"outOfConns", "outOfExecs", "execQuota", "noRoutes", "noXmitDescs",
          "fastpathOutputErrors", "abortedConns", "abortedPackets", "abortedXmits", "failedXmits",
          "closedTcpConnsNoCb", "badRpc", "rpcMismatches", "rpcUnavail", "rpcProgMismatches",
          "rpcGarbageArgs", "rpcGssCtxEstabs", "rpcGssCtxEstConts", "rpcGssCtxEstFails",
          "rpcGssCtxDestroys", "rpcGssSilentDrops", "rpcGssBogusCreds", "rpcGssBogusVerfs",
          "rpcGssCtxNotFound", "rpcGssCtxExpired", "rpcGssCtxOverflow", "rpcGssAuthFailed",
          "rpcGssUnsupported", "numInPkts", "numOutPkts", "xmitsViaSkb", "xmitsViaDesc",
          "xmitsViaSendmsg", "udpChecksums", "udpBadChecksums", "udpOutChecksums",
          "udpOutChecksumsSlow", "tcpConnsOpened", "tcpConnsClosed", "tcpConnsReset",
          "sockCreateFailures", "sockBindFailures"})
        t.push_back({n, "", "", true});
    return t;
}();

// Writes `lines` into `path`, each with a value of its own (and, for every
// line, a second column that only a second destination may take); returns
// the fields expected to be set.
FieldValues writeTable(const std::string& path, const std::vector<Line>& lines, uint64_t base) {
    FieldValues expected;
    std::string text;
    uint64_t v = base;
    for (const Line& l : lines) {
        // 64-bit destinations get values above 2^32.
        uint64_t first = l.wide ? (1ull << 33) + v : v;
        uint64_t second = v + 500;
        text += std::string(l.name) + (v % 2 ? "\t" : " ") + std::to_string(first) + " " +
                std::to_string(second) + "\n";
        expected[fieldOf(l)] = first;
        if (l.field2[0] != '\0') expected[l.field2] = second;
        v++;
    }
    writeText(path, text);
    return expected;
}

}  // namespace

TEST(NbladeFileCollectors, EveryTableLineFillsItsOwnField) {
    ScratchDir dir;
    NbladeStatsCollector c(dir.path() + "/", "127.0.0.1");
    struct Table {
        NbladeFileStatsCollector* collector;
        const char* file;
        const std::vector<Line>* lines;
        int32_t initialSize;
    };
    const Table tables[] = {
        {&c.bcp, "bcp", &kBcp, 1024},
        {&c.exports, "exports", &kExports, 1024},
        {&c.leaseConn, "leaseConn", &kLeaseConn, 1024},
        {&c.mountCache, "MountCacheStatistics ", &kMountCache, 1024},
        {&c.mountpointCache, "mountpointCache", &kMountpointCache, 1024},
        {&c.packet, "packetStats", &kPacket, 1024},
        {&c.ra, "raStats", &kRa, 4096},
        {&c.replayCache, "replayCache", &kReplayCache, 1024},
        {&c.rootCache, "RootCacheStatistics", &kRootCache, 1024},
        {&c.scp, "scp", &kScp, 2048},
        {&c.sidCache, "sidCache", &kSidCache, 1024},
        {&c.tolmXmitDescs, "tolmXmitDescs", &kTolmXmitDescs, 1024},
        {&c.transport, "transportStats", &kTransport, 4096},
    };
    std::map<std::string, FieldValues> expected;
    uint64_t base = 1000;
    for (const Table& t : tables) {
        EXPECT_EQ(t.collector->filename(), dir.path() + "/" + t.file);
        EXPECT_EQ(t.collector->lineCount(), t.lines->size()) << t.file;
        EXPECT_EQ(t.collector->capacity(), t.initialSize) << t.file;
        expected[t.file] = writeTable(dir.file(t.file), *t.lines, base);
        base += 1000;
    }
    // The mount-cache file is read under its name with the trailing blank
    // only: a file without the blank must not be taken.
    writeText(dir.file("MountCacheStatistics"), "Hits 999999\n");

    nblade_data_t rec;
    c.populateFiles(&rec);
    EXPECT_EQ(NONZERO_FIELDS(rec.bcp, NB_BCP_FIELDS), expected["bcp"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.exports, NB_EXPORTS_FIELDS), expected["exports"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.leaseConn, NB_LEASE_CONN_FIELDS), expected["leaseConn"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.mountCache, NB_MOUNT_CACHE_FIELDS),
              expected["MountCacheStatistics "]);
    EXPECT_EQ(NONZERO_FIELDS(rec.mountpointCache, NB_MOUNTPOINT_CACHE_FIELDS),
              expected["mountpointCache"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.packet, NB_PACKET_FIELDS), expected["packetStats"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.ra, NB_RA_FIELDS), expected["raStats"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.replayCache, NB_REPLAY_CACHE_FIELDS), expected["replayCache"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.rootCache, NB_ROOT_CACHE_FIELDS),
              expected["RootCacheStatistics"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.scp, NB_SCP_FIELDS), expected["scp"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.sidCache, NB_SID_CACHE_FIELDS), expected["sidCache"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.tolmXmitDescs, NB_TOLM_XMIT_DESCS_FIELDS),
              expected["tolmXmitDescs"]);
    EXPECT_EQ(NONZERO_FIELDS(rec.transport, NB_TRANSPORT_FIELDS), expected["transportStats"]);
    // Nothing else of the record is touched by the files.
    EXPECT_TRUE(NONZERO_FIELDS(rec.cifs, NB_CIFS_FIELDS).empty());
    EXPECT_TRUE(NONZERO_FIELDS(rec.nfs3, NB_NFS3_FIELDS).empty());
    EXPECT_EQ(rec.version, 1u);
    EXPECT_EQ(rec.mask, 0xFFFFFFFFu);
    EXPECT_LE(rec.timestampCreated, rec.timestampCompleted);
    EXPECT_GT(rec.timestampCreated, 0);

    // A value above 2^32 on a 32-bit scp line keeps only its low half and
    // leaves its neighbour alone.
    writeText(dir.file("scp"), "UpCalls 4294967303\n");
    c.populateFiles(&rec);
    EXPECT_EQ(rec.scp.upCalls, 7u);
    EXPECT_EQ(rec.scp.successCallbacks, 0u);
    // Missing files leave their sections zero.
    for (const Table& t : tables) unlink(dir.file(t.file).c_str());
    c.populateFiles(&rec);
    EXPECT_TRUE(NONZERO_FIELDS(rec.transport, NB_TRANSPORT_FIELDS).empty());
    EXPECT_TRUE(NONZERO_FIELDS(rec.bcp, NB_BCP_FIELDS).empty());
}

TEST(NbladeFileCollectors, BcptimeHistogram) {
    ScratchDir dir;
    NbladeStatsCollector c(dir.path() + "/", "127.0.0.1");
    nblade_data_t rec;

    // 62 numbers in mixed notations and separators: the first 60 are taken.
    std::string text;
    for (int i = 0; i < 62; i++) {
        if (i == 3) text += "0x20";
        else if (i == 4) text += "017";
        else text += std::to_string(100 + i);
        text += i % 10 == 9 ? "\n" : " ";
    }
    writeText(dir.file("bcptime"), text + "\n");
    c.populateFiles(&rec);
    EXPECT_EQ(rec.bcp.histogram[0], 100u);
    EXPECT_EQ(rec.bcp.histogram[3], 32u);
    EXPECT_EQ(rec.bcp.histogram[4], 15u);
    EXPECT_EQ(rec.bcp.histogram[10], 110u);
    EXPECT_EQ(rec.bcp.histogram[59], 159u);

    // Fewer numbers leave the rest zero; a final digit is lost to the
    // terminator that replaces the last byte.
    writeText(dir.file("bcptime"), "5 6 78");
    c.populateFiles(&rec);
    EXPECT_EQ(rec.bcp.histogram[0], 5u);
    EXPECT_EQ(rec.bcp.histogram[1], 6u);
    EXPECT_EQ(rec.bcp.histogram[2], 7u);
    for (int i = 3; i < 60; i++) EXPECT_EQ(rec.bcp.histogram[i], 0u) << i;

    // A word stops the conversion: everything from there on is zero.
    writeText(dir.file("bcptime"), "1 2 x 4\n");
    c.populateFiles(&rec);
    EXPECT_EQ(rec.bcp.histogram[1], 2u);
    EXPECT_EQ(rec.bcp.histogram[2], 0u);
    EXPECT_EQ(rec.bcp.histogram[3], 0u);

    // Numbers as a 32-bit strtoul sees them on any host: too large saturates
    // at 0xFFFFFFFF instead of losing its high bits; a minus sign negates in
    // 32 bits.
    writeText(dir.file("bcptime"),
              "4294967295 4294967296 0x1FFFFFFFF 18446744073709551616 -1 -4294967296 -5 7\n");
    c.populateFiles(&rec);
    EXPECT_EQ(rec.bcp.histogram[0], 0xFFFFFFFFu);
    EXPECT_EQ(rec.bcp.histogram[1], 0xFFFFFFFFu) << "2^32 was cut to its low bits";
    EXPECT_EQ(rec.bcp.histogram[2], 0xFFFFFFFFu);
    EXPECT_EQ(rec.bcp.histogram[3], 0xFFFFFFFFu);
    EXPECT_EQ(rec.bcp.histogram[4], 0xFFFFFFFFu);
    EXPECT_EQ(rec.bcp.histogram[5], 0xFFFFFFFFu);
    EXPECT_EQ(rec.bcp.histogram[6], 0xFFFFFFFBu);
    EXPECT_EQ(rec.bcp.histogram[7], 7u) << "the conversions go on after a saturated one";
}

#include "nbstream.h"

// The stream service's reply in XDR: an error ends the record after its word;
// an empty counter array is a count of 0.
TEST(NbladeStreamRecords, ErrorRepliesAndEmptyArrays) {
    std::vector<char> buf(256);
    XDR x;
    rpcStreamCifsStatsRes res;
    memset(&res, 0, sizeof(res));
    res.error = 5;
    xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    ASSERT_TRUE(xdr_rpcStreamCifsStatsRes(&x, &res));
    EXPECT_EQ(xdr_getpos(&x), 4u);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 4), (Bytes{0, 0, 0, 5}));

    res.error = 0;
    rpcStreamCifsStatsResponse& r = res.rpcStreamCifsStatsRes_u.result;
    r.StatType = STREAM_STATS_NFS_COUNTS;
    r.StatVersion = 3;
    r.StatControlWord = 0x80000000u;
    xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    ASSERT_TRUE(xdr_rpcStreamCifsStatsRes(&x, &res));
    ASSERT_EQ(xdr_getpos(&x), 20u);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 20),
              (Bytes{0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 3, 0x80, 0, 0, 0, 0, 0, 0, 0}));

    rpcStreamCifsStatsRes back;
    memset(&back, 0xff, sizeof(back));
    back.rpcStreamCifsStatsRes_u.result.DataOut.DataOut_val = nullptr;
    xdrmem_create(&x, buf.data(), 20, XDR_DECODE);
    ASSERT_TRUE(xdr_rpcStreamCifsStatsRes(&x, &back));
    EXPECT_EQ(back.error, 0);
    EXPECT_EQ(back.rpcStreamCifsStatsRes_u.result.DataOut.DataOut_len, 0u);
    EXPECT_EQ(back.rpcStreamCifsStatsRes_u.result.StatControlWord, 0x80000000u);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_rpcStreamCifsStatsRes), reinterpret_cast<char*>(&back));

    // The request: the set wanted, then the parameter word.
    rpcStreamCifsStatsReq req = {STREAM_STATS_CIFS_COUNTS, 0};
    xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    ASSERT_TRUE(xdr_rpcStreamCifsStatsReq(&x, &req));
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + xdr_getpos(&x)), (Bytes{0, 0, 0, 1, 0, 0, 0, 0}));
}
