#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `sidCache` from the N-blade statistics file "sidCache".
class SidCacheNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "sidCache";

    explicit SidCacheNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
