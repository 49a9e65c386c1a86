#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `ra` from the N-blade statistics file "raStats".
class RaNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "raStats";

    explicit RaNbladeStatsCollector(const std::string& filename = std::string(NBLADE_STATS_DIR) +
                                                                  FILE_NAME);
    void populate(nblade_data_t* record) override;
};
