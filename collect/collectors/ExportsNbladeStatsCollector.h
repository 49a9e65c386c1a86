#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `exports` from the N-blade statistics file "exports".
class ExportsNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "exports";

    explicit ExportsNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
