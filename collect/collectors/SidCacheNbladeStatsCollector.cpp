#include "SidCacheNbladeStatsCollector.h"

#include <cstddef>

#include "DoubleColLineDesc.h"

SidCacheNbladeStatsCollector::SidCacheNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("Lookups",
            new DoubleColLineDesc<unsigned int>(offsetof(nb_sid_cache_data_t, lookups),
                                                offsetof(nb_sid_cache_data_t, lookups2)));
    addLine("Misses",
            new DoubleColLineDesc<unsigned int>(offsetof(nb_sid_cache_data_t, misses),
                                                DoubleColLineDesc<unsigned int>::NO_OFFSET));
    addLine("Waiting",
            new DoubleColLineDesc<unsigned int>(offsetof(nb_sid_cache_data_t, waiting),
                                                DoubleColLineDesc<unsigned int>::NO_OFFSET));
    addLine("CacheEntries",
            new DoubleColLineDesc<unsigned int>(offsetof(nb_sid_cache_data_t, cacheEntries),
                                                DoubleColLineDesc<unsigned int>::NO_OFFSET));
    addLine("TossedForNoEntries",
            new DoubleColLineDesc<unsigned int>(offsetof(nb_sid_cache_data_t, tossedForNoEntries),
                                                DoubleColLineDesc<unsigned int>::NO_OFFSET));
    addLine("TossedForFullBucket",
            new DoubleColLineDesc<unsigned int>(offsetof(nb_sid_cache_data_t, tossedForFullBucket),
                                                DoubleColLineDesc<unsigned int>::NO_OFFSET));
}

void SidCacheNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->sidCache);
}
