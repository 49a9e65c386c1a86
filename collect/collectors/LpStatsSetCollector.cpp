#include "LpStatsSetCollector.h"

#include <cstddef>
#include <cstring>
#include <ctime>

#include "SLogger.h"
#include "vol.h"

namespace {

// Pools are listed with this argument.
constexpr unsigned int LIST_ALL_POOLS = 1;
// The flags of a volume statistics request: node-wide figures, or one volume.
constexpr unsigned int VOL_STATS_GLOBAL = 5;
constexpr unsigned int VOL_STATS_ONE_VOLUME = 2;
// Volume ids asked for per listing page.
constexpr unsigned int VFS_PAGE = 256;
// Where the counters start in ops_count: the global ones at entry 1, the
// per-volume ones (after the two byte counts) at entry 2.
constexpr size_t GLOBAL_FIRST_OP = 1;
constexpr size_t VOLUME_FIRST_OP = 2;
// The operation counters of the records, each a run of 64-bit fields.
constexpr size_t GLOBAL_OPS = 36;
constexpr size_t VOLUME_OPS = 36;
static_assert(offsetof(lpset_stats_data_t, globopDebugCount) -
                      offsetof(lpset_stats_data_t, globopGetAttrCount) ==
                  (GLOBAL_OPS - 1) * sizeof(uint64_t),
              "the global operation counters are contiguous");
static_assert(offsetof(vfs_stats_data_t, volopDebugCount) -
                      offsetof(vfs_stats_data_t, volopGetAttrCount) ==
                  (VOLUME_OPS - 1) * sizeof(uint64_t),
              "the volume operation counters are contiguous");
static_assert(sizeof(u_quad_t) == sizeof(uint64_t), "ops_count holds 64-bit counters");
constexpr uint32_t NO_HANDLE = static_cast<uint32_t>(-1);

int32_t now() { return static_cast<int32_t>(time(nullptr)); }

int callVolStats(CLIENT* vol, VolGetStatsIn* in, VolGetStatsOut64_v2_t* out) {
    memset(out, 0, sizeof(*out));
    clnt_stat st = clnt_call(vol, VOL_GETSTATS64_V2, (xdrproc_t)xdr_VolGetStatsIn,
                             reinterpret_cast<caddr_t>(in), (xdrproc_t)xdr_VolGetStatsOut64_v2_t,
                             reinterpret_cast<caddr_t>(out), localRpcTimeout());
    return localRpcStatus(st, static_cast<int>(out->returnCode));
}

}  // namespace

LpStatsSet* LpStatsSetCollector::collect(const char* host) {
    LpStatsSet* set = new LpStatsSet();
    memset(&set->data, 0, sizeof(set->data));
    set->data.version = 1;
    set->data.timestampCreated = now();
    set->data.listLpRpcStatus = NO_HANDLE;
    set->data.volStatRpcStatus = NO_HANDLE;

    RpcHandleSet handles(host);
    if (handles.pLpmHandle == nullptr) {
        set->data.timestampCompleted = now();
        return set;
    }

    unsigned int which = LIST_ALL_POOLS;
    LPGetAllOut pools;
    memset(&pools, 0, sizeof(pools));
    clnt_stat st = clnt_call(handles.pLpmHandle, LPM_GETALL, (xdrproc_t)xdr_u_int,
                             reinterpret_cast<caddr_t>(&which), (xdrproc_t)xdr_LPGetAllOut,
                             reinterpret_cast<caddr_t>(&pools), localRpcTimeout());
    int status = localRpcStatus(st, pools.status);
    set->data.listLpRpcStatus = static_cast<uint32_t>(status);
    if (status == 0) {
        for (u_int i = 0; i < pools.entries.entries_len; i++)
            set->addLpStats(collectLpStats(handles, &pools.entries.entries_val[i]));
    }
    clnt_freeres(handles.pLpmHandle, (xdrproc_t)xdr_LPGetAllOut, reinterpret_cast<caddr_t>(&pools));

    // Without a volume service handle the global figures stay unfetched.
    if (handles.pVolHandle != nullptr) fetchGlobal(handles, set);

    set->data.timestampCompleted = now();
    return set;
}

void LpStatsSetCollector::fetchGlobal(RpcHandleSet& handles, LpStatsSet* set) {
    VolGetStatsIn in;
    memset(&in, 0, sizeof(in));
    in.vfsID = 0;
    in.flags = VOL_STATS_GLOBAL;
    VolGetStatsOut64_v2_t out;
    int status = callVolStats(handles.pVolHandle, &in, &out);
    set->data.volStatRpcStatus = static_cast<uint32_t>(status);
    if (status == 0) {
        lpset_stats_data_t& d = set->data;
        const tolm_volStats64_v2_t& v = out.volstats;
        memcpy(&d.globopGetAttrCount, v.globalopStats.ops_count + GLOBAL_FIRST_OP,
               GLOBAL_OPS * sizeof(uint64_t));
        d.stalledRnums = v.stalledRnums;
        d.inodesUsedByVol = v.inodesUsedByVol;
        d.dumpSessions = v.dumpSessions;
        d.dumpFailures = v.dumpFailures;
        d.dumpRFPackets = v.dumpRFPackets;
        d.restoreRFPackets = v.restoreRFPackets;
        d.dmUpCalls = v.dmStats.upCalls;
        d.dmUpCallErrs = v.dmStats.upCallErrs;
        d.dmReads = v.dmStats.reads;
        d.dmReadErrs = v.dmStats.readErrs;
        d.dmWrites = v.dmStats.writes;
        d.dmWriteErrs = v.dmStats.writeErrs;
        d.dmRenames = v.dmStats.renames;
        d.dmOpens = v.dmStats.opens;
        d.dmCloses = v.dmStats.closes;
    } else {
        SLogger::err("LpStatsSetCollector failed to fetch global VFS status: %d 0x%x", status,
                     static_cast<unsigned int>(status));
    }
    clnt_freeres(handles.pVolHandle, (xdrproc_t)xdr_VolGetStatsOut64_v2_t,
                 reinterpret_cast<caddr_t>(&out));
}

LpStats* LpStatsSetCollector::collectLpStats(RpcHandleSet& handles, LPGetAllEntry* entry) {
    LpStats* lp = new LpStats();
    lp->name = entry->name != nullptr ? entry->name : "";
    memset(&lp->data, 0, sizeof(lp->data));
    memcpy(lp->data.uuid, entry->uuid, sizeof(lp->data.uuid));
    lp->data.state = static_cast<uint32_t>(entry->state);

    LPStats64Out stats;
    memset(&stats, 0, sizeof(stats));
    clnt_stat st = clnt_call(handles.pLpmHandle, LPM_STATS64, (xdrproc_t)xdr_DBLADE_LP_UUID,
                             reinterpret_cast<caddr_t>(entry->uuid), (xdrproc_t)xdr_LPStats64Out,
                             reinterpret_cast<caddr_t>(&stats), localRpcTimeout());
    int status = localRpcStatus(st, static_cast<int>(stats.status));
    lp->data.statsRpcStatus = static_cast<uint32_t>(status);
    if (status == 0) {
        lp_stats_data_t& d = lp->data;
#define LP_COPY_COUNTER(T, name, ...) d.name = stats.name;
        LP_COUNTER_FIELDS(LP_COPY_COUNTER)
#undef LP_COPY_COUNTER
    }
    clnt_freeres(handles.pLpmHandle, (xdrproc_t)xdr_LPStats64Out, reinterpret_cast<caddr_t>(&stats));

    if (entry->state != LP_STATUS_ONLINE) return lp;

    LPVFSListIn in;
    memset(&in, 0, sizeof(in));
    memcpy(in.lpID, entry->uuid, sizeof(in.lpID));
    in.positionCookie = 0;
    in.stateCookie = 0;
    in.numEntriesToReturn = VFS_PAGE;
    for (;;) {
        LPVFSListOut out;
        memset(&out, 0, sizeof(out));
        st = clnt_call(handles.pLpmHandle, LPM_VFSLIST, (xdrproc_t)xdr_LPVFSListIn,
                       reinterpret_cast<caddr_t>(&in), (xdrproc_t)xdr_LPVFSListOut,
                       reinterpret_cast<caddr_t>(&out), localRpcTimeout());
        // A failed listing ends the pool's volumes silently.
        bool more = false;
        if (st == RPC_SUCCESS && out.status == 0) {
            if (out.retryCall) {
                more = true;
            } else {
                for (u_int i = 0; i < out.vfsList.vfsList_len; i++)
                    lp->addVfsStats(collectVfs(handles, lp->data.uuid, out.vfsList.vfsList_val[i]));
                more = out.moreToGo;
                in.positionCookie = out.positionCookie;
                in.stateCookie = out.stateCookie;
            }
        }
        clnt_freeres(handles.pLpmHandle, (xdrproc_t)xdr_LPVFSListOut,
                     reinterpret_cast<caddr_t>(&out));
        if (!more) break;
    }
    return lp;
}

VfsStats* LpStatsSetCollector::collectVfs(RpcHandleSet& handles, const unsigned char* lpUuid,
                                          uint32_t vfsid) {
    VfsStats* vfs = new VfsStats();
    memset(&vfs->data, 0, sizeof(vfs->data));
    vfs->data.vfsid = vfsid;
    if (handles.pVolHandle == nullptr) {
        vfs->data.statsRpcStatus = NO_HANDLE;
        return vfs;
    }

    VolGetStatsIn in;
    memset(&in, 0, sizeof(in));
    in.vfsID = vfsid;
    in.flags = VOL_STATS_ONE_VOLUME;
    memcpy(in.lpUUID, lpUuid, sizeof(in.lpUUID));
    VolGetStatsOut64_v2_t out;
    int status = callVolStats(handles.pVolHandle, &in, &out);
    vfs->data.statsRpcStatus = static_cast<uint32_t>(status);
    if (status == 0) {
        const u_quad_t* ops = out.volstats.volopStats.ops_count;
        vfs->data.volopBytesRead = ops[0];
        vfs->data.volopBytesWritten = ops[1];
        memcpy(&vfs->data.volopGetAttrCount, ops + VOLUME_FIRST_OP, VOLUME_OPS * sizeof(uint64_t));
    } else {
        SLogger::err("LpStatsSetColllector failed to fetch VFS status: %d 0x%x", status,
                     static_cast<unsigned int>(status));
    }
    clnt_freeres(handles.pVolHandle, (xdrproc_t)xdr_VolGetStatsOut64_v2_t,
                 reinterpret_cast<caddr_t>(&out));
    return vfs;
}
