#include "ReplayCacheNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

ReplayCacheNbladeStatsCollector::ReplayCacheNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("Found", new SingleColLineDesc<unsigned int>(offsetof(nb_replay_cache_data_t, found)));
    addLine("Queued",
            new SingleColLineDesc<unsigned int>(offsetof(nb_replay_cache_data_t, queued)));
    addLine("Allocated",
            new SingleColLineDesc<unsigned int>(offsetof(nb_replay_cache_data_t, allocated)));
    addLine("Full", new SingleColLineDesc<unsigned int>(offsetof(nb_replay_cache_data_t, full)));
    addLine("BlockedXmit",
            new SingleColLineDesc<unsigned int>(offsetof(nb_replay_cache_data_t, blockedXmit)));
}

void ReplayCacheNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->replayCache);
}
