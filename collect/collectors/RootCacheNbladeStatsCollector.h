#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `rootCache` from the N-blade statistics file "RootCacheStatistics".
class RootCacheNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "RootCacheStatistics";

    explicit RootCacheNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
