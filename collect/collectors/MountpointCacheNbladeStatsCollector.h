#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `mountpointCache` from the N-blade statistics file "mountpointCache".
class MountpointCacheNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "mountpointCache";

    explicit MountpointCacheNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
