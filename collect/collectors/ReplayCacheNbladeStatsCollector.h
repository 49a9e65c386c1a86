#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `replayCache` from the N-blade statistics file "replayCache".
class ReplayCacheNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "replayCache";

    explicit ReplayCacheNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
