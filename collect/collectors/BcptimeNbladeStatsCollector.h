#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills the bcp timing histogram from the N-blade statistics file "bcptime",
// a plain list of 60 numbers.
class BcptimeNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "bcptime";
    static constexpr int BUCKETS = 60;

    explicit BcptimeNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
