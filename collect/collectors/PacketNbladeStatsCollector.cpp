#include "PacketNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

PacketNbladeStatsCollector::PacketNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("tolmPacketsAllocated",
            new SingleColLineDesc<unsigned int>(offsetof(nb_packet_data_t, tolmPacketsAllocated)));
    addLine("tolmPacketsMax",
            new SingleColLineDesc<unsigned int>(offsetof(nb_packet_data_t, tolmPacketsMax)));
    addLine("udpRedDrops",
            new SingleColLineDesc<unsigned int>(offsetof(nb_packet_data_t, udpRedDrops)));
}

void PacketNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->packet);
}
