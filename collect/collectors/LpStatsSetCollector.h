#pragma once

#include <cstdint>

#include "LocalRpc.h"
#include "LpStatsSet.h"
#include "RpcHandleSet.h"
#include "lpm.h"

// The top-level collector of the storage side: the node's storage pools with
// their counters, the volumes of every online pool and the D-blade's global
// operation counters, all from the storage-pool manager and the volume service.
class LpStatsSetCollector {
public:
    // A new set owned by the caller; the services are asked on `host`.
    static LpStatsSet* collect(const char* host = LOCAL_RPC_HOST);

    // A new record of one listed pool, with its volumes when it is online.
    static LpStats* collectLpStats(RpcHandleSet& handles, LPGetAllEntry* entry);

    // A new record of volume `vfsid` of the pool whose 16-byte id is `lpUuid`.
    static VfsStats* collectVfs(RpcHandleSet& handles, const unsigned char* lpUuid,
                                uint32_t vfsid);

private:
    static void fetchGlobal(RpcHandleSet& handles, LpStatsSet* set);
};
