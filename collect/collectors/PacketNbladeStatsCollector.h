#pragma once

#include <string>

#include "NbladeFileStatsCollector.h"

// Fills `packet` from the N-blade statistics file "packetStats".
class PacketNbladeStatsCollector : public NbladeFileStatsCollector {
  public:
    static constexpr const char* FILE_NAME = "packetStats";

    explicit PacketNbladeStatsCollector(
        const std::string& filename = std::string(NBLADE_STATS_DIR) + FILE_NAME);
    void populate(nblade_data_t* record) override;
};
