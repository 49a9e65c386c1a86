#pragma once

#include <pthread.h>

#include <atomic>
#include <list>
#include <string>

#include "CollectorConfig.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"
#include "StatsDirMgr.h"

class CollectionEnv;
class SnapDir;

// Owns the snapshot history: runs the collection thread, which takes a
// snapshot every base period into the short or the long ring, and the
// persistence thread, which writes every persistSampleRate-th snapshot into
// the statistics volume. Answers the provider operations over both rings.
class CollectorMain : public SnapshotProvider {
  public:
    // Collects through `env` (borrowed; it must outlive this object): the
    // daemon passes a CollectorEnv, tests their own.
    CollectorMain(CollectorConfig& config, CollectionEnv* env);
    ~CollectorMain() override;
    CollectorMain(const CollectorMain&) = delete;
    CollectorMain& operator=(const CollectorMain&) = delete;

    SnapshotRing* getAllSnapshots() override;
    Snapshot* getEarliestSnapshot() override;
    Snapshot* getLatestSnapshot() override;
    Snapshot* getSnapshot(long timestamp) override;
    void getTimestamps(std::vector<unsigned int>& out) override;

    // The path of the timestamp directory being written, or "" when no
    // persistence is in progress (a stop that cannot wait names it in the log).
    std::string persistenceInProgress();

    // Tells both threads to stop: the collection pause ends at once, a
    // persistence in progress finishes, queued snapshots are dropped.
    void shutdown();
    // Joins the persistence thread, then the collection thread.
    void waitToComplete();
    // The same, giving up after `timeoutMs` in all: true when both threads
    // ended (the object may then be destroyed), false when one is still busy
    // (stuck in a node service's call, say); the object must then be left
    // alone, as the thread still uses it.
    bool waitToComplete(int timeoutMs);
    // After a timed wait that failed: the threads not joined are detached,
    // so that they take their resources with them whenever they end (the
    // process is about to leave without them).
    void abandonThreads();

    void* collect();
    void* persist();
    void persistBinary(Snapshot* snapshot);
    void persistXml(Snapshot* snapshot);
    void removePartial(SnapDir* dir, const char* name);
    void notePersisting(const std::string& path);

    // The sample number after n: n + 1, or 0 where that would not be a
    // non-negative signed 32-bit number.
    static int32_t nextSampleNumber(int32_t n);

    static void* collectStub(void* self);
    static void* persistStub(void* self);

  private:
    void start();
    // Waits `seconds`, or less when shutdown() is called.
    void pause(unsigned int seconds);

    // The most snapshots waiting for persistence: a queued snapshot older
    // than the newest persistedRingSize would be pruned from the volume as
    // soon as the newer ones land, so it is dropped while still waiting
    // (1000 when the volume keeps everything).
    size_t persistQueueLimit() const;

    SnapshotRing _shortRing;
    SnapshotRing _longRing;
    std::list<Snapshot*> _persistq;  // guarded by _persistenceLock
    // The timestamp directory being written ("" between persistences).
    std::string _persisting;
    StatsDirMgr _statsDirMgr;
    CollectorConfig _config;
    CollectionEnv* _env;
    bool _started;
    bool _persistenceStarted;
    bool _collectionJoined = false;
    std::atomic<bool> _shutdown;
    pthread_t _collectionThread;
    pthread_t _persistenceThread;
    pthread_cond_t _cv;
    pthread_mutex_t _persistenceLock;
    // The collection pause: a timed wait that shutdown() ends.
    pthread_cond_t _pauseCv;
    pthread_mutex_t _pauseLock;
};
