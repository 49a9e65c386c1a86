#pragma once

#include <string>

#include "LocalRpc.h"
#include "NbladeRpcStatsCollector.h"

// Fills `cifs` (from `SessionRequests` on) and `_cifsStatsRpcStatus` from the
// stream service's CIFS counter set, 329 words in the SmbStats layout.
class CifsNbladeStatsCollector : public NbladeRpcStatsCollector {
  public:
    static constexpr unsigned int EXPECTED_BYTES = 1316;

    explicit CifsNbladeStatsCollector(const std::string& host = LOCAL_RPC_HOST);
    virtual void populate(nblade_data_t* record);

  protected:
    void copyCounters(const unsigned int* words, nblade_data_t* record) override;
};
