#include "MountpointCacheNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

MountpointCacheNbladeStatsCollector::MountpointCacheNbladeStatsCollector(
    const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("AddEntry",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mountpoint_cache_data_t, addEntry)));
    addLine("EntryNotReady", new SingleColLineDesc<unsigned int>(
                                 offsetof(nb_mountpoint_cache_data_t, entryNotReady)));
    addLine("AttachTolmFid", new SingleColLineDesc<unsigned int>(
                                 offsetof(nb_mountpoint_cache_data_t, attachTolmFid)));
    addLine("ReattachTolmFid", new SingleColLineDesc<unsigned int>(
                                   offsetof(nb_mountpoint_cache_data_t, reattachTolmFid)));
    addLine("RemoveEntry",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mountpoint_cache_data_t, removeEntry)));
    addLine("ForceRemove",
            new SingleColLineDesc<unsigned int>(offsetof(nb_mountpoint_cache_data_t, forceRemove)));
    addLine("Hit", new SingleColLineDesc<unsigned int>(offsetof(nb_mountpoint_cache_data_t, hit)));
}

void MountpointCacheNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->mountpointCache);
}
