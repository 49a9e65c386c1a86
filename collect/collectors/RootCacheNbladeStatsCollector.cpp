#include "RootCacheNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

RootCacheNbladeStatsCollector::RootCacheNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("Hits", new SingleColLineDesc<unsigned int>(offsetof(nb_root_cache_data_t, hits)));
    addLine("Misses", new SingleColLineDesc<unsigned int>(offsetof(nb_root_cache_data_t, misses)));
    addLine("Failures",
            new SingleColLineDesc<unsigned int>(offsetof(nb_root_cache_data_t, failures)));
    addLine("Bypasses",
            new SingleColLineDesc<unsigned int>(offsetof(nb_root_cache_data_t, bypasses)));
}

void RootCacheNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->rootCache);
}
