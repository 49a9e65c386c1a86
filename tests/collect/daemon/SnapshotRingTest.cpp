#include <gtest/gtest.h>

#include <cstring>

#include "CollectorSet.h"
#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "Snapshot.h"
#include "SLogger.h"
#include "SnapshotRing.h"

#include <new>
#include <stdexcept>
#include <syslog.h>

namespace {

Snapshot* snap(int32_t ts) { return new Snapshot(ts, nullptr, nullptr, nullptr, nullptr, nullptr); }

std::vector<int32_t> stamps(SnapshotRing& r) {
    std::vector<int32_t> out;
    for (Snapshot* s : r) out.push_back(s->timestamp);
    return out;
}

// Adds a snapshot and drops the creator's reference, as the collection loop does.
Snapshot* addOwned(SnapshotRing& r, int32_t ts) {
    Snapshot* s = snap(ts);
    r.add(s);
    s->release();
    return s;
}

TEST(SnapshotRing, CapacityAndEviction) {
    int base = Snapshot::live();
    {
        SnapshotRing one(1);
        addOwned(one, 1);
        EXPECT_EQ(base + 1, Snapshot::live());
        Snapshot* held = one.earliest();  // a reader keeps the first one alive
        addOwned(one, 2);
        EXPECT_EQ(base + 2, Snapshot::live()) << "evicted but still held";
        EXPECT_EQ(1, held->refCount());
        EXPECT_EQ(0, held->release());
        EXPECT_EQ(base + 1, Snapshot::live());
        addOwned(one, 3);
        EXPECT_EQ(base + 1, Snapshot::live()) << "eviction destroys what nobody holds";
        Snapshot* e = one.earliest();
        Snapshot* l = one.latest();
        EXPECT_EQ(e, l);
        EXPECT_EQ(3, e->timestamp);
        EXPECT_EQ(3, e->refCount());
        e->release();
        l->release();

        SnapshotRing three(3);
        for (int i = 1; i <= 5; i++) addOwned(three, i * 10);
        EXPECT_EQ((std::vector<int32_t>{30, 40, 50}), stamps(three));
        SnapshotRing unbounded(-1);
        for (int i = 0; i < 100; i++) addOwned(unbounded, i);
        EXPECT_EQ(100u, unbounded.size());
        EXPECT_EQ(base + 1 + 3 + 100, Snapshot::live());
    }
    EXPECT_EQ(base, Snapshot::live()) << "destroying a ring releases its snapshots";
}

TEST(SnapshotRing, MergeFindAndTimestamps) {
    SnapshotRing a(-1), b(-1), empty(5);
    Snapshot* a5 = addOwned(a, 5);
    addOwned(a, 7);
    addOwned(a, 9);
    addOwned(b, 1);
    Snapshot* b5 = addOwned(b, 5);
    addOwned(b, 8);
    addOwned(b, 9);

    SnapshotRing merged(a);
    merged.merge(b);
    std::vector<Snapshot*> order(merged.begin(), merged.end());
    EXPECT_EQ((std::vector<int32_t>{1, 5, 5, 7, 8, 9, 9}), stamps(merged));
    EXPECT_EQ(a5, order[1]) << "this ring's entry stays ahead on equal timestamps";
    EXPECT_EQ(b5, order[2]);
    EXPECT_EQ(2, a5->refCount()) << "held by a and by the merge result";
    SnapshotRing onlyA(a);
    onlyA.merge(empty);
    EXPECT_EQ(stamps(a), stamps(onlyA));
    SnapshotRing fromEmpty(empty);
    fromEmpty.merge(b);
    EXPECT_EQ(stamps(b), stamps(fromEmpty));
    EXPECT_EQ(5, fromEmpty.maxSize());
    EXPECT_EQ(4u, fromEmpty.size()) << "merge applies no capacity";

    Snapshot* found = merged.find(5);
    EXPECT_EQ(a5, found) << "the older of two equal timestamps";
    found->release();
    EXPECT_EQ(nullptr, merged.find(6));
    EXPECT_EQ(nullptr, empty.earliest());
    EXPECT_EQ(nullptr, empty.latest());

    std::vector<unsigned int> ts = {100};
    b.populateTimestamps(ts);
    a.populateTimestamps(ts);
    EXPECT_EQ((std::vector<unsigned int>{100, 1, 5, 8, 9, 5, 7, 9}), ts) << "appended, unsorted";

    // Assignment replaces the contents and the capacity and isolates the copy.
    SnapshotRing assigned(2);
    addOwned(assigned, 99);
    assigned = b;
    EXPECT_EQ(stamps(b), stamps(assigned));
    EXPECT_EQ(-1, assigned.maxSize());
    addOwned(assigned, 100);
    EXPECT_EQ(4u, b.size());
    assigned = assigned;
    EXPECT_EQ(5u, assigned.size());
}

// Procedure 21 lists timestamps as unsigned 32-bit numbers; procedures 3, 7,
// ... find them again by those numbers, after 2038-01-19 too.
TEST(SnapshotRing, FindsTimestampsBeyond2038ByTheirUnsignedValue) {
    SnapshotRing r(-1);
    const uint32_t after2038 = 0x80000010u;  // 2038-01-19T03:14:24Z
    Snapshot* late = addOwned(r, static_cast<int32_t>(after2038));
    Snapshot* early = addOwned(r, 0x7FFFFFFF);
    std::vector<unsigned int> listed;
    r.populateTimestamps(listed);
    ASSERT_EQ((std::vector<unsigned int>{after2038, 0x7FFFFFFFu}), listed);
    for (unsigned int t : listed) {
        Snapshot* found = r.find(static_cast<long>(t));
        ASSERT_NE(nullptr, found) << t;
        EXPECT_EQ(found, t == after2038 ? late : early);
        found->release();
    }
    EXPECT_EQ(nullptr, r.find(static_cast<long>(after2038) + 1));
}

TEST(Snapshot, GetStatsCopiesOrZeroes) {
    MgmtProcStats* m = new MgmtProcStats();
    memset(&m->data, 0, sizeof m->data);
    m->data.vldb.vmrss = 77;
    Snapshot* s = new Snapshot(3, nullptr, nullptr, nullptr, nullptr, m);
    MgmtProcStats out;
    memset(&out.data, 0xff, sizeof out.data);
    EXPECT_TRUE(s->getStats(&out));
    EXPECT_EQ(77u, out.data.vldb.vmrss);
    NbladeStats nb;
    memset(&nb.data, 0xff, sizeof nb.data);
    EXPECT_FALSE(s->getStats(&nb));
    NbladeStats zero;
    memset(&zero.data, 0, sizeof zero.data);
    EXPECT_EQ(0, memcmp(&zero.data, &nb.data, sizeof nb.data));
    FcdStats fcd;
    fcd.addDiskStats(new _fcdDiskStats());
    EXPECT_FALSE(s->getStats(&fcd));
    EXPECT_EQ(0u, fcd.size());
    EXPECT_EQ(0u, fcd.data.version);
    EXPECT_EQ(0, s->release());
}

}  // namespace

namespace {

NbladeStats* nbladeOutOfMemory() { throw std::bad_alloc(); }
DbladeStats* dbladeFine() {
    DbladeStats* r = new DbladeStats();
    memset(&r->data, 0, sizeof r->data);
    r->data.version = 1;
    r->data.mask = 7;
    return r;
}
LpStatsSet* lpThrowsAnything() { throw 42; }
FcdStats* fcdLogicError() { throw std::logic_error("bad reply"); }
MgmtProcStats* mgmtFine() {
    MgmtProcStats* r = new MgmtProcStats();
    memset(&r->data, 0, sizeof r->data);
    r->data.version = 1;
    r->data.hamgr.vmrss = 1234;
    return r;
}

}  // namespace

// A collector that throws (an allocation failure above all) costs only its own
// record: the snapshot holds an empty one with its status words at -1, the
// other collectors still run, and one error per failure is logged.
TEST(Snapshot, ACollectorThatThrowsCostsOnlyItsRecord) {
    std::vector<std::string> errors;
    SLogger::setObserver([&](int priority, const std::string& text) {
        if (priority == LOG_ERR) errors.push_back(text);
    });
    CollectorSet set = {nbladeOutOfMemory, dbladeFine, lpThrowsAnything, fcdLogicError, mgmtFine};
    Snapshot* s = new Snapshot(set);
    SLogger::setObserver(nullptr);
    ASSERT_NE(nullptr, s->nblade());
    EXPECT_EQ(1u, s->nblade()->data.version);
    EXPECT_EQ(0u, s->nblade()->data.mask);
    EXPECT_EQ(0xFFFFFFFFu, s->nblade()->data._nfsStatsRpcStatus);
    EXPECT_EQ(0xFFFFFFFFu, s->nblade()->data._cifsStatsRpcStatus);
    EXPECT_EQ(0u, s->nblade()->data.bcp.allocFailures);
    ASSERT_NE(nullptr, s->dblade());
    EXPECT_EQ(7u, s->dblade()->data.mask);
    ASSERT_NE(nullptr, s->lps());
    EXPECT_EQ(0xFFFFFFFFu, s->lps()->data.listLpRpcStatus);
    EXPECT_EQ(0xFFFFFFFFu, s->lps()->data.volStatRpcStatus);
    ASSERT_NE(nullptr, s->fcds());
    EXPECT_EQ(0xFFFFFFFFu, s->fcds()->data.statsRpcStatus);
    EXPECT_EQ(0xFFFFFFFFu, s->fcds()->data.listRpcStatus);
    ASSERT_NE(nullptr, s->mgmt());
    EXPECT_EQ(1234u, s->mgmt()->data.hamgr.vmrss);
    ASSERT_EQ(3u, errors.size());
    EXPECT_NE(std::string::npos, errors[0].find("N-blade collection failed"));
    EXPECT_NE(std::string::npos, errors[2].find("bad reply"));
    s->release();
}
