#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `tolmXmitDescs` from the N-blade statistics file "tolmXmitDescs".
class TolmXmitDescsNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "tolmXmitDescs";

    explicit TolmXmitDescsNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
