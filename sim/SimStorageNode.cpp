#include "SimStorageNode.h"

#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "fcd.h"
#include "lpm.h"
#include "vol.h"

extern "C" void lpm_program_1(struct svc_req* rqstp, SVCXPRT* transp);
extern "C" void vol_program_1(struct svc_req* rqstp, SVCXPRT* transp);
extern "C" void program_1(struct svc_req* rqstp, SVCXPRT* transp);

namespace {

std::mutex g_lock;
SimStorageConfig g_config;
SimStorageNode::Log g_log;
std::chrono::steady_clock::time_point g_started;
SVCXPRT* g_lpmXprt = nullptr;
SVCXPRT* g_volXprt = nullptr;
SVCXPRT* g_fcdXprt = nullptr;
// Per pool and per disk-list series: whether the retry was already asked for.
std::vector<bool> g_vfsRetried;
bool g_diskRetried = false;
int g_diskPage = 0;

uint64_t tick() {
    if (g_config.fixedTick >= 0) return static_cast<uint64_t>(g_config.fixedTick);
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::steady_clock::now() - g_started)
                                     .count());
}

int poolOf(const unsigned char* uuid) {
    for (int p = 0; p < g_config.pools; p++) {
        unsigned char u[16];
        SimStorageNode::poolUuid(p, u);
        if (memcmp(u, uuid, 16) == 0) return p;
    }
    return -1;
}

SVCXPRT* serve(unsigned long prog, unsigned long vers, void (*dispatch)(svc_req*, SVCXPRT*)) {
    SVCXPRT* x = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (!x) return nullptr;
    pmap_unset(prog, vers);
    if (!svc_register(x, prog, vers, dispatch, IPPROTO_TCP)) {
        svc_destroy(x);
        return nullptr;
    }
    return x;
}

void unserve(SVCXPRT*& x, unsigned long prog, unsigned long vers) {
    if (!x) return;
    svc_unregister(prog, vers);
    svc_destroy(x);
    x = nullptr;
}

// The replies handed to the RPC library stay valid until the next request of
// the same procedure, which frees them first.
LPGetAllOut g_poolList;
LPVFSListOut g_vfsList;
LPStats64Out g_poolStats;
VolGetStatsOut64_v2_t g_volStats;
Fcd_getStats64Result_t g_fcdTotals;
Fcd_diskStatListResponse_t g_diskList;

template <typename T>
void renew(T& reply, xdrproc_t proc) {
    xdr_free(proc, reinterpret_cast<char*>(&reply));
    memset(&reply, 0, sizeof(reply));
}

}  // namespace

void SimStorageNode::poolUuid(int pool, unsigned char out[16]) {
    for (int i = 0; i < 16; i++) out[i] = static_cast<unsigned char>(0xA0 + pool * 16 + i);
}

std::string SimStorageNode::poolName(int pool) { return "pool" + std::to_string(pool); }

int SimStorageNode::poolState(int pool) {
    return pool % 3 == 2 ? LP_STATUS_OFFLINE : LP_STATUS_ONLINE;
}

bool SimStorageNode::start(const SimStorageConfig& config) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_config = config;
    g_started = std::chrono::steady_clock::now();
    g_vfsRetried.assign(static_cast<size_t>(config.pools > 0 ? config.pools : 0), false);
    g_diskRetried = false;
    g_diskPage = 0;
    bool ok = true;
    if (config.lpm && !g_lpmXprt)
        ok = (g_lpmXprt = serve(LPM_PROGRAM, LPM_VERSION, lpm_program_1)) != nullptr && ok;
    if (config.vol && !g_volXprt)
        ok = (g_volXprt = serve(VOL_PROGRAM, VOL_VERSION, vol_program_1)) != nullptr && ok;
    if (config.fcd && !g_fcdXprt)
        ok = (g_fcdXprt = serve(PROGRAM, FCD_VERSION, program_1)) != nullptr && ok;
    return ok;
}

void SimStorageNode::stop() {
    std::lock_guard<std::mutex> lk(g_lock);
    unserve(g_lpmXprt, LPM_PROGRAM, LPM_VERSION);
    unserve(g_volXprt, VOL_PROGRAM, VOL_VERSION);
    unserve(g_fcdXprt, PROGRAM, FCD_VERSION);
}

void SimStorageNode::configure(const SimStorageConfig& config) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_config = config;
    g_vfsRetried.assign(static_cast<size_t>(config.pools > 0 ? config.pools : 0), false);
    g_diskRetried = false;
    g_diskPage = 0;
}

SimStorageNode::Log SimStorageNode::log() {
    std::lock_guard<std::mutex> lk(g_lock);
    return g_log;
}

void SimStorageNode::clearLog() {
    std::lock_guard<std::mutex> lk(g_lock);
    g_log = Log();
}

bool SimStorageNode::needsValue(const std::string& name) {
    return name != "--no-lpm" && name != "--no-vol" && name != "--no-fcd" &&
           name != "--retry-once";
}

bool SimStorageNode::parseOption(const std::string& name, const std::string& value,
                                 SimStorageConfig& c) {
    long n = strtol(value.c_str(), nullptr, 0);
    if (name == "--pools") c.pools = static_cast<int>(n);
    else if (name == "--vfs-per-pool") c.vfsPerPool = static_cast<int>(n);
    else if (name == "--disks") c.disks = static_cast<int>(n);
    else if (name == "--no-lpm") c.lpm = false;
    else if (name == "--no-vol") c.vol = false;
    else if (name == "--no-fcd") c.fcd = false;
    else if (name == "--pool-list-status") c.poolListStatus = static_cast<int>(n);
    else if (name == "--pool-stats-status") c.poolStatsStatus = static_cast<unsigned int>(n);
    else if (name == "--vfs-list-status") c.vfsListStatus = static_cast<int>(n);
    else if (name == "--global-status") c.globalStatus = static_cast<unsigned int>(n);
    else if (name == "--volume-status") c.volumeStatus = static_cast<unsigned int>(n);
    else if (name == "--fcd-error") c.fcdError = static_cast<unsigned int>(n);
    else if (name == "--fcd-fail-page") c.fcdFailPage = static_cast<int>(n);
    else if (name == "--retry-once") c.retryOnce = true;
    else return false;
    return true;
}

const char* SimStorageNode::optionsHelp() {
    return "  --pools N               storage pools (default 4; every third one offline)\n"
           "  --vfs-per-pool M        volumes per pool (default 8; pages of 256)\n"
           "  --disks K               FCD disks (default 16; pages of 64)\n"
           "  --no-lpm, --no-vol, --no-fcd\n"
           "                          leave the storage-pool manager, the volume service or\n"
           "                          the FCD service unregistered\n"
           "  --pool-list-status N    answer the pool listing with status N\n"
           "  --pool-stats-status N   answer every pool statistics request with status N\n"
           "  --vfs-list-status N     answer every volume listing with status N\n"
           "  --global-status N       answer the node-wide volume statistics with status N\n"
           "  --volume-status N       answer every per-volume statistics request with status N\n"
           "  --fcd-error N           answer the FCD global statistics with error N\n"
           "  --fcd-fail-page P       fail the P-th disk list page with a system error\n"
           "  --retry-once            ask once for a retry of the first volume and disk pages\n";
}

extern "C" {

LPGetAllOut* lpm_getall_1_svc(u_int* arg, struct svc_req*) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_log.poolListArgs.push_back(*arg);
    renew(g_poolList, (xdrproc_t)xdr_LPGetAllOut);
    g_poolList.status = g_config.poolListStatus;
    if (g_config.poolListStatus != 0) return &g_poolList;
    int n = g_config.pools;
    g_poolList.entries.entries_len = static_cast<u_int>(n);
    g_poolList.entries.entries_val =
        static_cast<LPGetAllEntry*>(calloc(static_cast<size_t>(n), sizeof(LPGetAllEntry)));
    for (int p = 0; p < n; p++) {
        LPGetAllEntry& e = g_poolList.entries.entries_val[p];
        SimStorageNode::poolUuid(p, reinterpret_cast<unsigned char*>(e.uuid));
        e.state = static_cast<DBladeLPStatus>(SimStorageNode::poolState(p));
        e.name = strdup(SimStorageNode::poolName(p).c_str());
    }
    return &g_poolList;
}

LPStats64Out* lpm_stats64_1_svc(char* uuid, struct svc_req*) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_log.poolStatsUuids.emplace_back(uuid, uuid + 16);
    memset(&g_poolStats, 0, sizeof(g_poolStats));
    g_poolStats.status = g_config.poolStatsStatus;
    int p = poolOf(reinterpret_cast<unsigned char*>(uuid));
    if (g_config.poolStatsStatus != 0 || p < 0) {
        if (p < 0) g_poolStats.status = 2;
        return &g_poolStats;
    }
    uint64_t t = tick();
    u_quad_t* c[] = {&g_poolStats.numReads,         &g_poolStats.numBlocksRead,
                     &g_poolStats.numWrites,        &g_poolStats.numBlocksWritten,
                     &g_poolStats.numVolCreates,    &g_poolStats.numVolClones,
                     &g_poolStats.numVolDeletes,    &g_poolStats.numVolRestores,
                     &g_poolStats.numVolDumpsForCopy, &g_poolStats.numVolDumpsForMove};
    for (int k = 0; k < 10; k++) *c[k] = SimStorageNode::poolCounter(p, k, t);
    return &g_poolStats;
}

LPVFSListOut* lpm_vfslist_1_svc(LPVFSListIn* in, struct svc_req*) {
    std::lock_guard<std::mutex> lk(g_lock);
    SimStorageNode::VfsListRequest r;
    memcpy(r.lpID, in->lpID, 16);
    r.positionCookie = in->positionCookie;
    r.stateCookie = in->stateCookie;
    r.numEntriesToReturn = in->numEntriesToReturn;
    g_log.vfsLists.push_back(r);
    renew(g_vfsList, (xdrproc_t)xdr_LPVFSListOut);
    int p = poolOf(reinterpret_cast<unsigned char*>(in->lpID));
    g_vfsList.status = p < 0 ? 2 : g_config.vfsListStatus;
    if (g_vfsList.status != 0) return &g_vfsList;
    if (g_config.retryOnce && !g_vfsRetried[static_cast<size_t>(p)]) {
        g_vfsRetried[static_cast<size_t>(p)] = true;
        g_vfsList.retryCall = TRUE;
        return &g_vfsList;
    }
    // The position cookie is the index of the next volume; the state cookie
    // carries it as well, above 2^32, so that a lost high word shows.
    uint32_t from = in->positionCookie;
    uint32_t total = static_cast<uint32_t>(g_config.vfsPerPool);
    uint32_t n = from < total ? std::min(total - from, in->numEntriesToReturn) : 0;
    g_vfsList.vfsList.vfsList_len = n;
    g_vfsList.vfsList.vfsList_val = static_cast<u_int*>(calloc(n ? n : 1, sizeof(u_int)));
    for (uint32_t i = 0; i < n; i++)
        g_vfsList.vfsList.vfsList_val[i] = SimStorageNode::vfsId(p, static_cast<int>(from + i));
    g_vfsList.positionCookie = from + n;
    g_vfsList.stateCookie = (0x5EEDull << 32) | (from + n);
    g_vfsList.moreToGo = from + n < total;
    return &g_vfsList;
}

VolGetStatsOut64_v2_t* vol_getstats64_v2_1_svc(VolGetStatsIn* in, struct svc_req*) {
    std::lock_guard<std::mutex> lk(g_lock);
    SimStorageNode::VolStatsRequest r;
    r.vfsID = in->vfsID;
    r.flags = in->flags;
    memcpy(r.lpUUID, in->lpUUID, 16);
    g_log.volStats.push_back(r);
    memset(&g_volStats, 0, sizeof(g_volStats));
    bool global = in->flags == 5;
    g_volStats.returnCode = global ? g_config.globalStatus : g_config.volumeStatus;
    if (g_volStats.returnCode != 0) return &g_volStats;
    uint64_t t = tick();
    tolm_volStats64_v2_t& v = g_volStats.volstats;
    for (int e = 0; e < 40; e++) {
        v.volopStats.ops_count[e] = global ? 0 : SimStorageNode::opsCount(in->vfsID, e, t);
        v.globalopStats.ops_count[e] = SimStorageNode::opsCount(0, e, t);
    }
    unsigned int* small[] = {&v.stalledRnums, &v.inodesUsedByVol, &v.dumpSessions,
                             &v.dumpFailures, &v.dumpRFPackets,   &v.restoreRFPackets};
    for (int k = 0; k < 6; k++) *small[k] = static_cast<unsigned int>(7000 + k + t);
    u_quad_t* dm[] = {&v.dmStats.upCalls, &v.dmStats.upCallErrs, &v.dmStats.reads,
                      &v.dmStats.readErrs, &v.dmStats.writes,    &v.dmStats.writeErrs,
                      &v.dmStats.renames,  &v.dmStats.opens,     &v.dmStats.closes,
                      &v.dmStats.spare1};
    for (int k = 0; k < 10; k++) *dm[k] = (1ull << 34) + 5000 + k + t;
    return &g_volStats;
}

Fcd_getStats64Result_t* fcd_getstats64_1_svc(Fcd_getStatsRequest_t*, struct svc_req*) {
    std::lock_guard<std::mutex> lk(g_lock);
    renew(g_fcdTotals, (xdrproc_t)xdr_Fcd_getStats64Result_t);
    g_fcdTotals.error = g_config.fcdError;
    if (g_config.fcdError != 0) return &g_fcdTotals;
    std::vector<std::pair<int, uint64_t>> totals = g_config.fcdTotals;
    if (totals.empty()) {
        uint64_t t = tick();
        // Every type the driver counts, and the end marker, which carries no counter.
        for (int type = DBLADE_FCD_READ_FRAMES; type <= DBLADE_FCD_LAST_STAT; type++)
            totals.emplace_back(type, SimStorageNode::fcdTotal(type, t));
    }
    g_fcdTotals.stats.stats_len = static_cast<u_int>(totals.size());
    g_fcdTotals.stats.stats_val =
        static_cast<Fcd_stat64Value_t*>(calloc(totals.size() + 1, sizeof(Fcd_stat64Value_t)));
    for (size_t i = 0; i < totals.size(); i++) {
        g_fcdTotals.stats.stats_val[i].statType = static_cast<Fcd_statType_t>(totals[i].first);
        g_fcdTotals.stats.stats_val[i].statValue = totals[i].second;
    }
    return &g_fcdTotals;
}

Fcd_diskStatListResponse_t* fcd_diskstatlist_1_svc(Fcd_diskStatListRequest_t* in,
                                                   struct svc_req* rq) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_log.diskLists.push_back({in->sequenceNumber, in->cookie, in->numEntriesToReturn});
    renew(g_diskList, (xdrproc_t)xdr_Fcd_diskStatListResponse_t);
    g_diskPage++;
    if (g_config.fcdFailPage != 0 && g_diskPage == g_config.fcdFailPage) {
        svcerr_systemerr(rq->rq_xprt);
        return nullptr;
    }
    if (g_config.retryOnce && !g_diskRetried) {
        g_diskRetried = true;
        g_diskList.retryCall = TRUE;
        return &g_diskList;
    }
    uint64_t from = in->cookie;
    uint64_t total = static_cast<uint64_t>(g_config.disks);
    uint32_t n = from < total ? static_cast<uint32_t>(std::min<uint64_t>(total - from,
                                                                         in->numEntriesToReturn))
                              : 0;
    uint64_t t = tick();
    g_diskList.sequenceNumber = in->sequenceNumber;
    g_diskList.diskStat.diskStat_len = n;
    g_diskList.diskStat.diskStat_val =
        static_cast<Fcd_diskStat_t*>(calloc(n ? n : 1, sizeof(Fcd_diskStat_t)));
    for (uint32_t i = 0; i < n; i++) {
        int d = static_cast<int>(from + i);
        Fcd_diskStat_t& s = g_diskList.diskStat.diskStat_val[i];
        s.diskType = static_cast<Fcd_deviceType_t>(Fcd_deviceType_Disk_Raw + d % 3);
        s.diskId = static_cast<u_int>(100 + d);
        s.numReadFrames = SimStorageNode::diskCounter(d, 0, t);
        s.numReadIOs = SimStorageNode::diskCounter(d, 1, t);
        s.numWriteFrames = SimStorageNode::diskCounter(d, 2, t);
        s.numWriteIOs = SimStorageNode::diskCounter(d, 3, t);
    }
    g_diskList.cookie = from + n;
    g_diskList.moreToGo = from + n < total;
    return &g_diskList;
}

}  // extern "C"
