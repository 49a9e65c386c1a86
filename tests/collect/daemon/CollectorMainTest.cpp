#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "CollectionEnv.h"
#include "CollectorConfig.h"
#include "CollectorMain.h"
#include "SLogger.h"
#include "SignalMgr.h"
#include "Privileges.h"
#include "Snapshot.h"
#include "SnapshotRing.h"

namespace {

// The loop starts inside the constructor, before the test can hand the
// environment its CollectorMain: wait for it.
CollectorMain* stopper(std::atomic<CollectorMain*>& main) {
    while (!main.load()) std::this_thread::yield();
    return main.load();
}

// Hands out snapshots numbered 0, 1, 2 ... as timestamps 1000 + n. On the
// last one it waits until the persistence thread has seen `persistWanted`
// snapshots, then stops the daemon, so that every count is deterministic.
class ScriptedEnv : public CollectionEnv {
public:
    ScriptedEnv(int total, size_t persistWanted) : _total(total), _persistWanted(persistWanted) {}

    Snapshot* takeSnapshot() override {
        int n = _taken++;
        if (n == _total - 1) {
            std::unique_lock<std::mutex> lk(_m);
            EXPECT_TRUE(_cv.wait_for(lk, std::chrono::seconds(20),
                                     [&] { return persisted.size() >= _persistWanted; }));
            stopper(main)->shutdown();
        }
        return new Snapshot(1000 + n, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    bool persistSnapshot(Snapshot* s) override {
        std::lock_guard<std::mutex> lk(_m);
        persisted.push_back(s->timestamp);
        _cv.notify_all();
        return true;
    }

    std::atomic<CollectorMain*> main{nullptr};
    std::vector<int32_t> persisted;

private:
    int _total;
    size_t _persistWanted;
    int _taken = 0;
    std::mutex _m;
    std::condition_variable _cv;
};

CollectorConfig config(uint32_t longRate, uint32_t persistRate) {
    std::string name = "tolm.stats_";
    CollectorConfig c(name);
    c.baseCollectionPeriod = 0;
    c.longSampleRate = longRate;
    c.persistSampleRate = persistRate;
    c.shortRingSize = -1;
    c.longRingSize = -1;
    return c;
}

std::vector<int32_t> run(uint32_t longRate, uint32_t persistRate, int total, size_t persistWanted,
                         std::vector<unsigned int>& shortTs, std::vector<unsigned int>& all) {
    ScriptedEnv env(total, persistWanted);
    CollectorConfig c = config(longRate, persistRate);
    CollectorMain m(c, &env);
    env.main = &m;
    m.waitToComplete();
    m.getTimestamps(all);
    // The short ring's content: everything not in the long ring.
    shortTs.clear();
    for (unsigned int t : all)
        if ((t - 1000) % longRate != 0) shortTs.push_back(t);
    SnapshotRing* ring = m.getAllSnapshots();
    std::vector<unsigned int> ringTs;
    for (Snapshot* s : *ring) ringTs.push_back(static_cast<unsigned int>(s->timestamp));
    delete ring;
    EXPECT_EQ(all, ringTs);
    return env.persisted;
}

TEST(CollectorMain, RoutesSamplesToRingsAndPersistence) {
    int base = Snapshot::live();
    std::vector<unsigned int> shortTs, all;
    // Default rates: 0, 8, 16 to the long ring; only sample 0 persisted (rate 60).
    std::vector<int32_t> p = run(8, 60, 18, 1, shortTs, all);
    EXPECT_EQ(18u, all.size());
    EXPECT_EQ((std::vector<int32_t>{1000}), p);
    // Persist every third: 0, 3, 6 of 8 samples (the last, 7, is not queued).
    p = run(8, 3, 8, 3, shortTs, all);
    EXPECT_EQ((std::vector<int32_t>{1000, 1003, 1006}), p);
    // Persist never.
    p = run(8, 0, 5, 0, shortTs, all);
    EXPECT_TRUE(p.empty());
    EXPECT_EQ(base, Snapshot::live()) << "every snapshot released";
}

TEST(CollectorMain, LongRateOneFillsOnlyTheLongRing) {
    ScriptedEnv env(6, 0);
    CollectorConfig c = config(1, 0);
    c.longRingSize = 4;
    CollectorMain m(c, &env);
    env.main = &m;
    m.waitToComplete();
    std::vector<unsigned int> ts;
    m.getTimestamps(ts);
    EXPECT_EQ((std::vector<unsigned int>{1002, 1003, 1004, 1005}), ts);
    Snapshot* e = m.getEarliestSnapshot();
    ASSERT_NE(nullptr, e);
    EXPECT_EQ(1002, e->timestamp);
    e->release();
    EXPECT_EQ(nullptr, m.getSnapshot(1001));
}

TEST(CollectorMain, ProviderTieRulesAndShutdownWhilePausing) {
    // longSampleRate 2: samples 0, 2, 4 go to the long ring, 1 and 3 to the
    // short one; equal timestamps in both rings.
    struct PairEnv : CollectionEnv {
        Snapshot* takeSnapshot() override {
            static const int32_t ts[] = {20, 20, 20, 30, 30};
            int n = taken++;
            if (n == 4) stopper(main)->shutdown();
            made[n] = new Snapshot(ts[n], nullptr, nullptr, nullptr, nullptr, nullptr);
            return made[n];
        }
        std::atomic<CollectorMain*> main{nullptr};
        int taken = 0;
        Snapshot* made[5] = {};
    };
    PairEnv env;
    CollectorConfig c = config(2, 0);
    CollectorMain m(c, &env);
    env.main = &m;
    m.waitToComplete();

    std::vector<unsigned int> ts;
    m.getTimestamps(ts);
    EXPECT_EQ((std::vector<unsigned int>{20, 20, 20, 30, 30}), ts);
    Snapshot* e = m.getEarliestSnapshot();
    EXPECT_EQ(env.made[0], e) << "equal earliest timestamps: the long ring's wins";
    Snapshot* l = m.getLatestSnapshot();
    EXPECT_EQ(env.made[4], l) << "equal latest timestamps: the long ring's wins";
    Snapshot* s20 = m.getSnapshot(20);
    EXPECT_EQ(env.made[1], s20) << "the short ring is searched first";
    SnapshotRing* all = m.getAllSnapshots();
    std::vector<Snapshot*> order(all->begin(), all->end());
    // The short ring with the long ring merged in: short entries first on ties.
    EXPECT_EQ((std::vector<Snapshot*>{env.made[1], env.made[0], env.made[2], env.made[3],
                                      env.made[4]}),
              order);
    delete all;
    e->release();
    l->release();
    s20->release();

    // A pause of an hour ends when shutdown is called from another thread.
    CollectorConfig slow = config(1, 0);
    slow.baseCollectionPeriod = 3600;
    struct OnceEnv : CollectionEnv {
        Snapshot* takeSnapshot() override {
            return new Snapshot(7, nullptr, nullptr, nullptr, nullptr, nullptr);
        }
    } once;
    {
        CollectorMain sleeper(slow, &once);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        sleeper.shutdown();
        sleeper.waitToComplete();
        Snapshot* only = sleeper.getLatestSnapshot();
        ASSERT_NE(nullptr, only);
        EXPECT_EQ(7, only->timestamp);
        only->release();
    }
    // A pause that shutdown did not end would hang here until the ctest time-out.
}

}  // namespace

namespace {

// Identity calls that record their order and fail where told.
class FakeIdentity : public IdentityOps {
public:
    gid_t getgid() override { return 40; }
    uid_t getuid() override { return 30; }
    int setgid(gid_t gid) override {
        calls.push_back("setgid " + std::to_string(gid));
        if (failGid) errno = EPERM;
        return failGid ? -1 : 0;
    }
    int setuid(uid_t uid) override {
        calls.push_back("setuid " + std::to_string(uid));
        if (failUid) errno = EPERM;
        return failUid ? -1 : 0;
    }
    bool failGid = false, failUid = false;
    std::vector<std::string> calls;
};

}  // namespace

TEST(Privileges, BothIdentitiesAreDroppedEvenWhenTheFirstFails) {
    char text[256] = {};
    FILE* err = fmemopen(text, sizeof text - 1, "w");
    FakeIdentity ok;
    EXPECT_TRUE(dropPrivileges(ok, err));
    EXPECT_EQ((std::vector<std::string>{"setgid 40", "setuid 30"}), ok.calls);
    FakeIdentity gidFails;
    gidFails.failGid = true;
    EXPECT_FALSE(dropPrivileges(gidFails, err));
    EXPECT_EQ((std::vector<std::string>{"setgid 40", "setuid 30"}), gidFails.calls)
        << "setuid must be called after a failed setgid";
    FakeIdentity uidFails;
    uidFails.failUid = true;
    EXPECT_FALSE(dropPrivileges(uidFails, err));
    fclose(err);
    EXPECT_STREQ("setgid failed: Operation not permitted\nsetuid failed: Operation not permitted\n",
                 text);
}

// The sample counter wraps without a signed overflow: after the largest
// number comes 0, which the long ring and the persistence queue take.
TEST(CollectorMain, SampleNumberWrapsToZero) {
    EXPECT_EQ(1, CollectorMain::nextSampleNumber(0));
    EXPECT_EQ(2147483647, CollectorMain::nextSampleNumber(2147483646));
    EXPECT_EQ(0, CollectorMain::nextSampleNumber(2147483647));
    EXPECT_EQ(0, CollectorMain::nextSampleNumber(-5));
}

namespace {

// Persistence that stalls on the first snapshot while ten more are queued:
// with persistedRingSize 3 only the newest three wait, the others are
// released with one log line each.
class StalledEnv : public CollectionEnv {
public:
    Snapshot* takeSnapshot() override {
        int n = _taken++;
        std::unique_lock<std::mutex> lk(_m);
        if (n == 1) {  // the first is in the persistence thread's hands
            EXPECT_TRUE(
                _cv.wait_for(lk, std::chrono::seconds(20), [&] { return !persisted.empty(); }));
        }
        if (n == 11) {
            _stalled = false;
            _cv.notify_all();
            EXPECT_TRUE(_cv.wait_for(lk, std::chrono::seconds(20),
                                     [&] { return persisted.size() >= 4; }));
            lk.unlock();
            stopper(main)->shutdown();
        }
        return new Snapshot(1000 + n, nullptr, nullptr, nullptr, nullptr, nullptr);
    }
    bool persistSnapshot(Snapshot* s) override {
        std::unique_lock<std::mutex> lk(_m);
        persisted.push_back(s->timestamp);
        _cv.notify_all();
        _cv.wait(lk, [&] { return !_stalled; });
        return true;
    }

    std::atomic<CollectorMain*> main{nullptr};
    std::vector<int32_t> persisted;

private:
    int _taken = 0;
    bool _stalled = true;
    std::mutex _m;
    std::condition_variable _cv;
};

TEST(CollectorMain, AQueueBehindThePersistedCountDropsItsOldest) {
    int base = Snapshot::live();
    std::vector<std::string> logged;
    std::mutex logLock;
    SLogger::setObserver([&](int, const std::string& text) {
        std::lock_guard<std::mutex> lk(logLock);
        if (text.find("persistence behind") != std::string::npos)
            logged.push_back(text);
    });
    StalledEnv env;
    CollectorConfig c = config(8, 1);
    c.persistedRingSize = 3;
    {
        CollectorMain m(c, &env);
        env.main = &m;
        m.waitToComplete();
    }
    SLogger::setObserver(nullptr);
    ASSERT_GE(env.persisted.size(), 4u);
    EXPECT_EQ((std::vector<int32_t>{1000, 1008, 1009, 1010}),
              std::vector<int32_t>(env.persisted.begin(), env.persisted.begin() + 4));
    // Snapshots 1 to 7 were dropped while waiting, oldest first.
    ASSERT_EQ(7u, logged.size());
    EXPECT_EQ("persistence behind: dropping queued snapshot " + stampName(1001), logged[0]);
    EXPECT_EQ("persistence behind: dropping queued snapshot " + stampName(1007), logged[6]);
    EXPECT_EQ(base, Snapshot::live()) << "every dropped snapshot released";
}

}  // namespace
