#include "Snapshot.h"

#include <cstring>

#include "Check.h"
#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"

Snapshot::Snapshot(int32_t timestamp, NbladeStats* nblade, DbladeStats* dblade, LpStatsSet* lps,
                   FcdStats* fcds, MgmtProcStats* mgmt)
    : timestamp(timestamp),
      _pNblade(nblade),
      _pDblade(dblade),
      _pLps(lps),
      _pFcds(fcds),
      _pMgmt(mgmt),
      _refCount(1) {
    pthread_mutex_init(&_lk, nullptr);
    _live++;
}

Snapshot::~Snapshot() {
    delete _pNblade;
    delete _pDblade;
    delete _pLps;
    delete _pFcds;
    delete _pMgmt;
    pthread_mutex_destroy(&_lk);
    _live--;
}

std::atomic<int> Snapshot::_live{0};

int Snapshot::live() { return _live.load(); }

void Snapshot::addRef() {
    pthread_mutex_lock(&_lk);
    _refCount++;
    pthread_mutex_unlock(&_lk);
}

int Snapshot::release() {
    pthread_mutex_lock(&_lk);
    // Releasing a reference that was never taken is a programming error.
    TOLM_CHECK(_refCount > 0);
    int count = --_refCount;
    pthread_mutex_unlock(&_lk);
    if (count == 0) delete this;
    return count;
}

int Snapshot::refCount() {
    pthread_mutex_lock(&_lk);
    int count = _refCount;
    pthread_mutex_unlock(&_lk);
    return count;
}

namespace {

template <typename R>
bool copyPlain(R* have, R* out) {
    if (have) {
        out->data = have->data;
        return true;
    }
    memset(&out->data, 0, sizeof out->data);
    return false;
}

template <typename R>
bool copyTree(R* have, R* out) {
    if (have) {
        *out = *have;
        return true;
    }
    *out = R();
    memset(&out->data, 0, sizeof out->data);
    return false;
}

}  // namespace

bool Snapshot::getStats(NbladeStats* out) { return copyPlain(_pNblade, out); }
bool Snapshot::getStats(DbladeStats* out) { return copyPlain(_pDblade, out); }
bool Snapshot::getStats(MgmtProcStats* out) { return copyPlain(_pMgmt, out); }
bool Snapshot::getStats(LpStatsSet* out) { return copyTree(_pLps, out); }
bool Snapshot::getStats(FcdStats* out) { return copyTree(_pFcds, out); }
