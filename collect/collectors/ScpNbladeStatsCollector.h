#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `scp` from the N-blade statistics file "scp".
class ScpNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "scp";

    explicit ScpNbladeStatsCollector(const std::string& filename = std::string(NBLADE_STATS_DIR) +
                                                                   FILE_NAME);
    void populate(nblade_data_t* record) override;
};
