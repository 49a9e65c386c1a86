#pragma once

#include <string>

#include "LocalRpc.h"
#include "NbladeRpcStatsCollector.h"

// Fills `nfs2`, `nfs3`, `mount`, `lock` and `sessionMonitor` (and
// `_nfsStatsRpcStatus`) from the stream service's NFS counter set: 185 64-bit
// counters, success counts first and each failure count 120 places after its
// success count.
class NfsNbladeStatsCollector : public NbladeRpcStatsCollector {
  public:
    static constexpr unsigned int EXPECTED_BYTES = 1480;
    static constexpr unsigned int FAILED_OFFSET = 120;

    explicit NfsNbladeStatsCollector(const std::string& host = LOCAL_RPC_HOST)
        : NbladeRpcStatsCollector(host) {}
    virtual void populate(nblade_data_t* record);

  protected:
    void copyCounters(const unsigned int* words, nblade_data_t* record) override;
};
