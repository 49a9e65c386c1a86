// The storage-pool/VFS and FCD collectors against the simulated storage
// services, in a private network namespace with its own portmapper.

#include <gtest/gtest.h>
#include <syslog.h>

#include <cstring>
#include <memory>
#include <vector>

#include "FcdStatsCollector.h"
#include "LpStatsSetCollector.h"
#include "RecordTestUtil.h"
#include "SLogger.h"
#include "SimServiceLoop.h"
#include "SimStorageNode.h"
#include "lpm.h"
#include "vol.h"

namespace {

bool inNamespace() {
    if (getenv("TOLM_NETNS_ACTIVE")) return true;
    if (getenv("CI")) ADD_FAILURE() << "RPC tests must run in their private namespace under CI";
    return false;
}

#define REQUIRE_NAMESPACE()                                                  \
    do {                                                                     \
        if (!inNamespace()) {                                                \
            if (!HasFailure()) GTEST_SKIP() << "no private network namespace"; \
            return;                                                          \
        }                                                                    \
    } while (0)

constexpr uint64_t kTick = 9;

class ErrorCapture {
public:
    ErrorCapture() {
        SLogger::setObserver([this](int priority, const std::string& text) {
            if (priority == LOG_ERR) messages.push_back(text);
        });
    }
    ~ErrorCapture() { SLogger::setObserver(nullptr); }
    std::vector<std::string> messages;
};

// Runs the simulated services for one test.
class Services {
public:
    explicit Services(const SimStorageConfig& c) {
        ok = SimStorageNode::start(c);
        SimStorageNode::clearLog();
        loop.reset(new SimServiceLoop());
    }
    ~Services() {
        loop.reset();
        SimStorageNode::stop();
    }
    bool ok;
    std::unique_ptr<SimServiceLoop> loop;
};

SimStorageConfig config(int pools, int vfs, int disks) {
    SimStorageConfig c;
    c.pools = pools;
    c.vfsPerPool = vfs;
    c.disks = disks;
    c.fixedTick = kTick;
    return c;
}

std::vector<uint64_t> values64(const unsigned char* first, size_t n) {
    std::vector<uint64_t> v(n);
    memcpy(v.data(), first, n * 8);
    return v;
}

}  // namespace

TEST(StorageCollectors, ServicesAbsent) {
    REQUIRE_NAMESPACE();
    std::unique_ptr<LpStatsSet> set(LpStatsSetCollector::collect());
    EXPECT_EQ(static_cast<int32_t>(set->data.listLpRpcStatus), -1);
    EXPECT_EQ(static_cast<int32_t>(set->data.volStatRpcStatus), -1);
    EXPECT_EQ(set->size(), 0u);
    EXPECT_EQ(set->data.version, 1u);
    EXPECT_LE(set->data.timestampCreated, set->data.timestampCompleted);
    std::unique_ptr<FcdStats> fcd(FcdStatsCollector::collect());
    EXPECT_EQ(static_cast<int32_t>(fcd->data.statsRpcStatus), -1);
    EXPECT_EQ(fcd->data.listRpcStatus, 0u);
    EXPECT_EQ(fcd->size(), 0u);
    EXPECT_EQ(fcd->data.readFrames, 0u);
}

TEST(StorageCollectors, PoolsVolumesAndGlobalCounters) {
    REQUIRE_NAMESPACE();
    Services s(config(3, 4, 0));
    ASSERT_TRUE(s.ok);
    std::unique_ptr<LpStatsSet> set(LpStatsSetCollector::collect());
    EXPECT_EQ(set->data.listLpRpcStatus, 0u);
    EXPECT_EQ(set->data.volStatRpcStatus, 0u);
    ASSERT_EQ(set->size(), 3u);
    for (int p = 0; p < 3; p++) {
        LpStats& lp = (*set)[p];
        EXPECT_EQ(lp.name, SimStorageNode::poolName(p));
        unsigned char uuid[16];
        SimStorageNode::poolUuid(p, uuid);
        EXPECT_EQ(0, memcmp(lp.data.uuid, uuid, 16));
        EXPECT_EQ(lp.data.state, static_cast<uint32_t>(SimStorageNode::poolState(p)));
        EXPECT_EQ(lp.data.statsRpcStatus, 0u);
        std::vector<uint64_t> expected;
        for (int k = 0; k < 10; k++) expected.push_back(SimStorageNode::poolCounter(p, k, kTick));
        EXPECT_EQ(values64(reinterpret_cast<unsigned char*>(&lp.data.numReads), 10), expected);
    }
    // The offline pool has no volumes and was never listed.
    EXPECT_EQ((*set)[2].size(), 0u);
    SimStorageNode::Log log = SimStorageNode::log();
    EXPECT_EQ(log.poolListArgs, std::vector<uint32_t>{1});
    ASSERT_EQ(log.vfsLists.size(), 2u);
    unsigned char offline[16];
    SimStorageNode::poolUuid(2, offline);
    for (const auto& r : log.vfsLists) {
        EXPECT_NE(0, memcmp(r.lpID, offline, 16));
        EXPECT_EQ(r.numEntriesToReturn, 256u);
        EXPECT_EQ(r.positionCookie, 0u);
        EXPECT_EQ(r.stateCookie, 0u);
    }

    // Per volume: bytes from entries 0 and 1, the operation counters from
    // entry 2 on, each into its own field.
    LpStats& pool1 = (*set)[1];
    ASSERT_EQ(pool1.size(), 4u);
    for (int v = 0; v < 4; v++) {
        VfsStats& vfs = pool1[v];
        uint32_t id = SimStorageNode::vfsId(1, v);
        EXPECT_EQ(vfs.data.vfsid, id);
        EXPECT_EQ(vfs.data.statsRpcStatus, 0u);
        std::vector<uint64_t> expected;
        for (int e = 0; e < 38; e++) expected.push_back(SimStorageNode::opsCount(id, e, kTick));
        EXPECT_EQ(values64(reinterpret_cast<unsigned char*>(&vfs.data.volopBytesRead), 38),
                  expected);
    }
    // The requests: per volume flags 2 with the pool's uuid, then the node's
    // figures once, flags 5, id 0, a zero uuid, after every pool.
    ASSERT_EQ(log.volStats.size(), 9u);
    unsigned char uuid1[16];
    SimStorageNode::poolUuid(1, uuid1);
    EXPECT_EQ(log.volStats[4].vfsID, SimStorageNode::vfsId(1, 0));
    EXPECT_EQ(log.volStats[4].flags, 2u);
    EXPECT_EQ(0, memcmp(log.volStats[4].lpUUID, uuid1, 16));
    const auto& global = log.volStats.back();
    EXPECT_EQ(global.vfsID, 0u);
    EXPECT_EQ(global.flags, 5u);
    EXPECT_EQ(std::vector<unsigned char>(global.lpUUID, global.lpUUID + 16),
              std::vector<unsigned char>(16, 0));

    // Node-wide: the 36 operation counters from entry 1 on, then the six
    // volume figures and the nine data-mover counters.
    std::vector<uint64_t> expected;
    for (int e = 1; e <= 36; e++) expected.push_back(SimStorageNode::opsCount(0, e, kTick));
    EXPECT_EQ(values64(reinterpret_cast<unsigned char*>(&set->data.globopGetAttrCount), 36),
              expected);
    EXPECT_EQ(set->data.globopDebugCount, SimStorageNode::opsCount(0, 36, kTick));
    EXPECT_EQ(set->data.stalledRnums, 7000 + kTick);
    EXPECT_EQ(set->data.restoreRFPackets, 7005 + kTick);
    EXPECT_EQ(set->data.dmUpCalls, (1ull << 34) + 5000 + kTick);
    EXPECT_EQ(set->data.dmCloses, (1ull << 34) + 5008 + kTick);
}

TEST(StorageCollectors, VolumeListingPagesWithCookies) {
    REQUIRE_NAMESPACE();
    SimStorageConfig c = config(1, 300, 0);
    c.retryOnce = true;
    Services s(c);
    ASSERT_TRUE(s.ok);
    std::unique_ptr<LpStatsSet> set(LpStatsSetCollector::collect());
    ASSERT_EQ(set->size(), 1u);
    LpStats& lp = (*set)[0];
    ASSERT_EQ(lp.size(), 300u);
    for (int v = 0; v < 300; v++) EXPECT_EQ(lp[v].data.vfsid, SimStorageNode::vfsId(0, v)) << v;
    // The retry repeats the first request unchanged; the second page carries
    // both cookies of the first reply.
    SimStorageNode::Log log = SimStorageNode::log();
    ASSERT_EQ(log.vfsLists.size(), 3u);
    EXPECT_EQ(log.vfsLists[1].positionCookie, 0u);
    EXPECT_EQ(log.vfsLists[1].stateCookie, 0u);
    EXPECT_EQ(log.vfsLists[2].positionCookie, 256u);
    EXPECT_EQ(log.vfsLists[2].stateCookie, (0x5EEDull << 32) | 256);
    EXPECT_EQ(log.vfsLists[2].numEntriesToReturn, 256u);
}

TEST(StorageCollectors, FailingFetchesKeepTheirStatus) {
    REQUIRE_NAMESPACE();
    SimStorageConfig c = config(2, 2, 0);
    c.globalStatus = 5;
    c.volumeStatus = 6;
    c.poolStatsStatus = 3;
    Services s(c);
    ASSERT_TRUE(s.ok);
    {
        ErrorCapture log;
        std::unique_ptr<LpStatsSet> set(LpStatsSetCollector::collect());
        EXPECT_EQ(set->data.volStatRpcStatus, 5u);
        EXPECT_EQ(set->data.globopGetAttrCount, 0u);
        EXPECT_EQ(set->data.dmCloses, 0u);
        ASSERT_EQ(set->size(), 2u);
        EXPECT_EQ((*set)[0].data.statsRpcStatus, 3u);
        EXPECT_EQ((*set)[0].data.numReads, 0u);
        ASSERT_EQ((*set)[0].size(), 2u);
        EXPECT_EQ((*set)[0][1].data.statsRpcStatus, 6u);
        EXPECT_EQ((*set)[0][1].data.volopBytesRead, 0u);
        EXPECT_EQ((*set)[0][1].data.vfsid, SimStorageNode::vfsId(0, 1));
        std::vector<std::string> expected(4, "LpStatsSetColllector failed to fetch VFS status: 6 0x6");
        expected.push_back("LpStatsSetCollector failed to fetch global VFS status: 5 0x5");
        EXPECT_EQ(log.messages, expected);
    }
    // A failed pool listing leaves no pools but the global figures come.
    c = config(2, 2, 0);
    c.poolListStatus = 4;
    SimStorageNode::configure(c);
    std::unique_ptr<LpStatsSet> set(LpStatsSetCollector::collect());
    EXPECT_EQ(set->data.listLpRpcStatus, 4u);
    EXPECT_EQ(set->size(), 0u);
    EXPECT_EQ(set->data.volStatRpcStatus, 0u);
    EXPECT_NE(set->data.globopGetAttrCount, 0u);
    // A failed volume listing ends that pool's volumes silently.
    c = config(2, 2, 0);
    c.vfsListStatus = 7;
    SimStorageNode::configure(c);
    set.reset(LpStatsSetCollector::collect());
    ASSERT_EQ(set->size(), 2u);
    EXPECT_EQ((*set)[0].size(), 0u);
    EXPECT_EQ((*set)[0].data.statsRpcStatus, 0u);
}

TEST(StorageCollectors, PoolManagerWithoutVolumeService) {
    REQUIRE_NAMESPACE();
    SimStorageConfig c = config(1, 3, 0);
    c.vol = false;
    Services s(c);
    ASSERT_TRUE(s.ok);
    std::unique_ptr<LpStatsSet> set(LpStatsSetCollector::collect());
    EXPECT_EQ(set->data.listLpRpcStatus, 0u);
    EXPECT_EQ(static_cast<int32_t>(set->data.volStatRpcStatus), -1);
    ASSERT_EQ(set->size(), 1u);
    ASSERT_EQ((*set)[0].size(), 3u);
    EXPECT_EQ(static_cast<int32_t>((*set)[0][0].data.statsRpcStatus), -1);
    EXPECT_TRUE(SimStorageNode::log().volStats.empty());
}

TEST(StorageCollectors, FcdTotalsAndDiskPages) {
    REQUIRE_NAMESPACE();
    SimStorageConfig c = config(0, 0, 74);
    Services s(c);
    ASSERT_TRUE(s.ok);
    std::unique_ptr<FcdStats> fcd(FcdStatsCollector::collect());
    EXPECT_EQ(fcd->data.statsRpcStatus, 0u);
    EXPECT_EQ(fcd->data.listRpcStatus, 0u);
    // Every type into its own counter; the end marker (type 8) lands nowhere.
    std::vector<uint64_t> expected;
    for (int t = 0; t < 8; t++) expected.push_back(SimStorageNode::fcdTotal(t, kTick));
    EXPECT_EQ(values64(reinterpret_cast<unsigned char*>(&fcd->data.readFrames), 8), expected);
    // Pages of 64 and 10 disks: 74 entries in the order received.
    ASSERT_EQ(fcd->size(), 74u);
    for (int d = 0; d < 74; d++) {
        _fcdDiskStats& disk = (*fcd)[d];
        EXPECT_EQ(disk.diskID, static_cast<uint32_t>(100 + d));
        EXPECT_EQ(disk.diskType, static_cast<uint32_t>(4 + d % 3));
        EXPECT_EQ(disk.numReadFrames, SimStorageNode::diskCounter(d, 0, kTick));
        EXPECT_EQ(disk.numReadIOs, SimStorageNode::diskCounter(d, 1, kTick));
        EXPECT_EQ(disk.numWriteFrames, SimStorageNode::diskCounter(d, 2, kTick));
        EXPECT_EQ(disk.numWriteIOs, SimStorageNode::diskCounter(d, 3, kTick));
    }
    SimStorageNode::Log log = SimStorageNode::log();
    ASSERT_EQ(log.diskLists.size(), 2u);
    EXPECT_EQ(log.diskLists[0].cookie, 0u);
    EXPECT_EQ(log.diskLists[1].cookie, 64u);
    for (const auto& r : log.diskLists) {
        EXPECT_EQ(r.sequenceNumber, 0u);
        EXPECT_EQ(r.numEntriesToReturn, 64u);
    }

    // Only type 5 with the value 7: opsCompleted is 7, the rest 0.
    c.fcdTotals = {{5, 7}};
    c.retryOnce = true;
    SimStorageNode::configure(c);
    SimStorageNode::clearLog();
    fcd.reset(FcdStatsCollector::collect());
    EXPECT_EQ(fcd->data.opsCompleted, 7u);
    expected.assign(8, 0);
    expected[5] = 7;
    EXPECT_EQ(values64(reinterpret_cast<unsigned char*>(&fcd->data.readFrames), 8), expected);
    // The retried page added nothing and was asked again unchanged.
    EXPECT_EQ(fcd->size(), 74u);
    log = SimStorageNode::log();
    ASSERT_EQ(log.diskLists.size(), 3u);
    EXPECT_EQ(log.diskLists[0].cookie, log.diskLists[1].cookie);
    EXPECT_EQ(log.diskLists[2].cookie, 64u);

    // A failing page ends the list with its status; a failing global fetch
    // keeps the counters 0 and does not stop the list.
    c = config(0, 0, 74);
    c.fcdFailPage = 2;
    c.fcdError = 9;
    SimStorageNode::configure(c);
    fcd.reset(FcdStatsCollector::collect());
    EXPECT_EQ(fcd->data.statsRpcStatus, 9u);
    EXPECT_EQ(fcd->data.readFrames, 0u);
    EXPECT_EQ(fcd->size(), 64u);
    EXPECT_EQ(fcd->data.listRpcStatus, static_cast<uint32_t>(RPC_SYSTEMERROR));
}

// Pool identifiers on the wire: 16 bytes as opaque data in the pool
// manager's records, 16 four-byte words in the volume service's.
TEST(StorageRecords, PoolIdentifierWidths) {
    std::vector<char> buf(256);
    XDR x;
    LPVFSListIn list;
    memset(&list, 0, sizeof(list));
    for (int i = 0; i < 16; i++) list.lpID[i] = static_cast<char>(i + 1);
    list.stateCookie = 0x0102030405060708ull;
    xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    ASSERT_TRUE(xdr_LPVFSListIn(&x, &list));
    ASSERT_EQ(xdr_getpos(&x), 16u + 4 + 8 + 4);
    EXPECT_EQ(buf[0], 1);
    EXPECT_EQ(buf[15], 16);
    EXPECT_EQ(Bytes(buf.begin() + 20, buf.begin() + 28), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));

    VolGetStatsIn in;
    memset(&in, 0, sizeof(in));
    in.vfsID = 0x11223344;
    in.flags = 2;
    for (int i = 0; i < 16; i++) in.lpUUID[i] = static_cast<u_char>(0xA0 + i);
    xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    ASSERT_TRUE(xdr_VolGetStatsIn(&x, &in));
    ASSERT_EQ(xdr_getpos(&x), 4u + 4 + 64);
    EXPECT_EQ(Bytes(buf.begin(), buf.begin() + 12), (Bytes{0x11, 0x22, 0x33, 0x44, 0, 0, 0, 2, 0, 0, 0, 0xA0}));
    EXPECT_EQ(Bytes(buf.begin() + 68, buf.begin() + 72), (Bytes{0, 0, 0, 0xAF}));
}
