#pragma once

#include "FcdStats.h"
#include "LocalRpc.h"

// The top-level collector of the FCD record: the channel driver's global I/O
// counters and one entry per disk, from the D-blade's FCD service.
class FcdStatsCollector {
public:
    // A new record owned by the caller; the service is asked on `host`.
    static FcdStats* collect(const char* host = LOCAL_RPC_HOST);
};
