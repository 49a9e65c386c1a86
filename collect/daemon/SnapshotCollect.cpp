// The collecting constructor of Snapshot, kept apart so that code which only
// handles snapshots does not pull in the collectors.

#include <ctime>

#include "DbladeStatsCollector.h"
#include "FcdStatsCollector.h"
#include "LpStatsSetCollector.h"
#include "MgmtProcStatsCollector.h"
#include "NbladeStatsCollector.h"
#include "Snapshot.h"

Snapshot::Snapshot()
    : timestamp(static_cast<int32_t>(time(nullptr))),
      _pNblade(nullptr),
      _pDblade(nullptr),
      _pLps(nullptr),
      _pFcds(nullptr),
      _pMgmt(nullptr),
      _refCount(1) {
    pthread_mutex_init(&_lk, nullptr);
    _live++;
    _pNblade = NbladeStatsCollector::collect();
    _pDblade = DbladeStatsCollector::collect();
    _pLps = LpStatsSetCollector::collect();
    _pFcds = FcdStatsCollector::collect();
    _pMgmt = MgmtProcStatsCollector::collect();
}
