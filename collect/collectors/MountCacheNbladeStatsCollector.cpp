#include "MountCacheNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

MountCacheNbladeStatsCollector::MountCacheNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("Hits", new SingleColLineDesc<unsigned int>(offsetof(nb_mount_cache_data_t, hits)));
    addLine("Misses", new SingleColLineDesc<unsigned int>(offsetof(nb_mount_cache_data_t, misses)));
    addLine("Failures",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mount_cache_data_t, failures)));
    addLine("Bypasses",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mount_cache_data_t, bypasses)));
    addLine("DynamicBypasses",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mount_cache_data_t, dynamicBypasses)));
    addLine("OversizeBypasses",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mount_cache_data_t, oversizeBypasses)));
    addLine("ActiveBuckets",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mount_cache_data_t, activeBuckets)));
    addLine("ActiveEntries",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mount_cache_data_t, activeEntries)));
}

void MountCacheNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->mountCache);
}
