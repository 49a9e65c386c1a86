// The collecting constructor of Snapshot, kept apart so that code which only
// handles snapshots does not pull in the collectors.

#include <cstring>
#include <ctime>
#include <exception>
#include <new>

#include "CollectorSet.h"
#include "DbladeStatsCollector.h"
#include "FcdStatsCollector.h"
#include "LpStatsSetCollector.h"
#include "MgmtProcStatsCollector.h"
#include "NbladeStatsCollector.h"
#include "SLogger.h"
#include "Snapshot.h"

namespace {

// What a record says when its collector failed outright: nothing collected
// (mask 0, empty lists) and every status word it has at -1.
constexpr uint32_t kCollectorFailed = 0xFFFFFFFFu;

void markFailed(NbladeStats* r) {
    r->data._nfsStatsRpcStatus = kCollectorFailed;
    r->data._cifsStatsRpcStatus = kCollectorFailed;
}
void markFailed(DbladeStats*) {}
void markFailed(LpStatsSet* r) {
    r->data.listLpRpcStatus = kCollectorFailed;
    r->data.volStatRpcStatus = kCollectorFailed;
}
void markFailed(FcdStats* r) {
    r->data.statsRpcStatus = kCollectorFailed;
    r->data.listRpcStatus = kCollectorFailed;
}
void markFailed(MgmtProcStats*) {}

// Runs one collector. Nothing it throws (an allocation failure above all)
// may end the collection: the sample keeps an empty record for it instead,
// and one line is logged. Null only when even that record cannot be had.
template <typename R>
R* guarded(const char* source, R* (*collect)()) {
    try {
        return collect();
    } catch (const std::exception& e) {
        SLogger::err("%s collection failed: %s", source, e.what());
    } catch (...) {
        SLogger::err("%s collection failed", source);
    }
    R* r = new (std::nothrow) R();
    if (r != nullptr) {
        memset(&r->data, 0, sizeof r->data);
        r->data.version = 1;
        markFailed(r);
    }
    return r;
}

LpStatsSet* collectLps() {
    return LpStatsSetCollector::collect();
}
FcdStats* collectFcds() {
    return FcdStatsCollector::collect();
}
MgmtProcStats* collectMgmt() {
    return MgmtProcStatsCollector::collect();
}

}  // namespace

const CollectorSet& CollectorSet::node() {
    static const CollectorSet set = {NbladeStatsCollector::collect, DbladeStatsCollector::collect,
                                     collectLps, collectFcds, collectMgmt};
    return set;
}

Snapshot::Snapshot() : Snapshot(CollectorSet::node()) {}

Snapshot::Snapshot(const CollectorSet& collectors)
    : timestamp(static_cast<int32_t>(time(nullptr))),
      _pNblade(nullptr),
      _pDblade(nullptr),
      _pLps(nullptr),
      _pFcds(nullptr),
      _pMgmt(nullptr),
      _refCount(1) {
    pthread_mutex_init(&_lk, nullptr);
    _live++;
    _pNblade = guarded("N-blade", collectors.nblade);
    _pDblade = guarded("D-blade", collectors.dblade);
    _pLps = guarded("storage pool", collectors.lps);
    _pFcds = guarded("FCD", collectors.fcds);
    _pMgmt = guarded("management process", collectors.mgmt);
}
