#include "FcdStatsCollector.h"
#include "LocalRpcClient.h"

#include <cstring>
#include <ctime>

#include "fcd.h"

namespace {

// Disks asked for per page of the list.
constexpr unsigned int DISK_PAGE = 64;

int32_t now() { return static_cast<int32_t>(time(nullptr)); }

// The global counter that `type` selects, or null for a type not kept.
uint64_t* totalFor(fcd_stats_data_t& d, int type) {
    switch (type) {
        case DBLADE_FCD_READ_FRAMES: return &d.readFrames;
        case DBLADE_FCD_READ_IOS: return &d.readIOs;
        case DBLADE_FCD_WRITE_FRAMES: return &d.writeFrames;
        case DBLADE_FCD_WRITE_IOS: return &d.writeIOs;
        case DBLADE_FCD_OTHER_IOS: return &d.otherIOs;
        case DBLADE_FCD_OP_COMPLETED: return &d.opsCompleted;
        case DBLADE_FCD_TAPE_READS: return &d.tapeReads;
        case DBLADE_FCD_TAPE_WRITES: return &d.tapeWrites;
        default: return nullptr;
    }
}

void fetchTotals(CLIENT* clnt, FcdStats* rec) {
    Fcd_getStatsRequest_t req;
    req.requestType = DBLADE_FCD_GLOBAL_STATS;
    Fcd_getStats64Result_t res;
    memset(&res, 0, sizeof(res));
    clnt_stat st = clnt_call(clnt, FCD_GETSTATS64, (xdrproc_t)xdr_Fcd_getStatsRequest_t,
                             reinterpret_cast<caddr_t>(&req), (xdrproc_t)xdr_Fcd_getStats64Result_t,
                             reinterpret_cast<caddr_t>(&res), localRpcTimeout());
    int status = localRpcStatus(st, static_cast<int>(res.error));
    rec->data.statsRpcStatus = static_cast<uint32_t>(status);
    if (st != RPC_SUCCESS) return;
    if (status == 0) {
        for (u_int i = 0; i < res.stats.stats_len; i++) {
            uint64_t* dst = totalFor(rec->data, res.stats.stats_val[i].statType);
            if (dst) *dst = res.stats.stats_val[i].statValue;
        }
    }
    clnt_freeres(clnt, (xdrproc_t)xdr_Fcd_getStats64Result_t, reinterpret_cast<caddr_t>(&res));
}

void fetchDisks(CLIENT* clnt, FcdStats* rec) {
    Fcd_diskStatListRequest_t req;
    // The sequence number stays 0; the cookie leads from page to page.
    req.sequenceNumber = 0;
    req.cookie = 0;
    req.numEntriesToReturn = DISK_PAGE;
    for (;;) {
        Fcd_diskStatListResponse_t res;
        memset(&res, 0, sizeof(res));
        clnt_stat st = clnt_call(clnt, FCD_DISKSTATLIST, (xdrproc_t)xdr_Fcd_diskStatListRequest_t,
                                 reinterpret_cast<caddr_t>(&req),
                                 (xdrproc_t)xdr_Fcd_diskStatListResponse_t,
                                 reinterpret_cast<caddr_t>(&res), localRpcTimeout());
        rec->data.listRpcStatus = static_cast<uint32_t>(st);
        if (st != RPC_SUCCESS) return;
        bool more = true;
        if (!res.retryCall) {
            req.cookie = res.cookie;
            for (u_int i = 0; i < res.diskStat.diskStat_len; i++) {
                const Fcd_diskStat_t& s = res.diskStat.diskStat_val[i];
                _fcdDiskStats* disk = new _fcdDiskStats();
                disk->diskType = static_cast<uint32_t>(s.diskType);
                disk->diskID = s.diskId;
                disk->numReadFrames = s.numReadFrames;
                disk->numReadIOs = s.numReadIOs;
                disk->numWriteFrames = s.numWriteFrames;
                disk->numWriteIOs = s.numWriteIOs;
                rec->addDiskStats(disk);
            }
            more = res.moreToGo;
        }
        clnt_freeres(clnt, (xdrproc_t)xdr_Fcd_diskStatListResponse_t,
                     reinterpret_cast<caddr_t>(&res));
        if (!more) return;
    }
}

}  // namespace

FcdStats* FcdStatsCollector::collect(const char* host) {
    FcdStats* rec = new FcdStats();
    memset(&rec->data, 0, sizeof(rec->data));
    rec->data.version = 1;
    rec->data.timestampCreated = now();
    rec->data.statsRpcStatus = static_cast<uint32_t>(-1);
    CLIENT* clnt = localTcpClient(host, PROGRAM, FCD_VERSION);
    if (clnt != nullptr) {
        fetchTotals(clnt, rec);
        fetchDisks(clnt, rec);
        clnt_destroy(clnt);
    }
    rec->data.timestampCompleted = now();
    return rec;
}
