#include <gtest/gtest.h>

#include <cstring>

#include "FcdStats.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "Snapshot.h"
#include "SnapshotRing.h"

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
