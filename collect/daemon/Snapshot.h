#pragma once

#include <pthread.h>

#include <atomic>
#include <cstdint>

class NbladeStats;
class DbladeStats;
class LpStatsSet;
class FcdStats;
class MgmtProcStats;
struct CollectorSet;

// One sample of the node: a timestamp and one record of each source. Never
// changed after construction except for its reference count; destroyed by the
// release that drops the count to 0.
class Snapshot {
public:
    // Takes time(NULL) as the timestamp, then runs the five collectors in turn.
    // A collector that throws costs only its own record: the snapshot gets an
    // empty one (status words -1) and one error is logged.
    Snapshot();
    explicit Snapshot(const CollectorSet& collectors);
    // Takes ownership of the records given (any may be null).
    Snapshot(int32_t timestamp, NbladeStats* nblade, DbladeStats* dblade, LpStatsSet* lps,
             FcdStats* fcds, MgmtProcStats* mgmt);
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

    void addRef();
    // Returns the new count; the snapshot is gone when it returns 0.
    int release();
    int refCount();
    // How many snapshots exist in the process.
    static int live();

    // Copy the record into *out and return true, or zero-fill *out and return
    // false when this snapshot has no such record.
    bool getStats(NbladeStats* out);
    bool getStats(DbladeStats* out);
    bool getStats(LpStatsSet* out);
    bool getStats(FcdStats* out);
    bool getStats(MgmtProcStats* out);

    // The records themselves (null when absent); read-only, like the snapshot.
    NbladeStats* nblade() const { return _pNblade; }
    DbladeStats* dblade() const { return _pDblade; }
    LpStatsSet* lps() const { return _pLps; }
    FcdStats* fcds() const { return _pFcds; }
    MgmtProcStats* mgmt() const { return _pMgmt; }

    int32_t timestamp;

private:
    ~Snapshot();

    NbladeStats* _pNblade;
    DbladeStats* _pDblade;
    LpStatsSet* _pLps;
    FcdStats* _pFcds;
    MgmtProcStats* _pMgmt;
    int32_t _refCount;
    pthread_mutex_t _lk;
    static std::atomic<int> _live;
};
