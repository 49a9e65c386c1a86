#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `mountCache` from the N-blade statistics file "MountCacheStatistics ".
class MountCacheNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "MountCacheStatistics ";

    explicit MountCacheNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
