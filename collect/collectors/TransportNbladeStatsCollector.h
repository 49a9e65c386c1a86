#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `transport` from the N-blade statistics file "transportStats".
class TransportNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "transportStats";

    explicit TransportNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
