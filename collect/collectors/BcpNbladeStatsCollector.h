#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `bcp` from the N-blade statistics file "bcp".
class BcpNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "bcp";

    explicit BcpNbladeStatsCollector(const std::string& filename = std::string(NBLADE_STATS_DIR) +
                                                                   FILE_NAME);
    void populate(nblade_data_t* record) override;
};
