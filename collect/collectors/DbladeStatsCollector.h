#pragma once

#include "DbladeFileStatsCollector.h"
#include "DbladeStats.h"

// The top-level collector of the D-blade record: one process-wide instance,
// made on the first collection, reads the kernel module's block.
class DbladeStatsCollector {
public:
    explicit DbladeStatsCollector(const char* device = dbladeDevice) : dblade(device) {}

    // A new D-blade record owned by the caller.
    static DbladeStats* collect();

    // Clears the record, fills the header and copies the kernel block into it.
    void populate(_dbData* record);

    DbladeFileStatsCollector dblade;

private:
    static DbladeStatsCollector* instance;
};
