#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `leaseConn` from the N-blade statistics file "leaseConn".
class LeaseConnNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "leaseConn";

    explicit LeaseConnNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
