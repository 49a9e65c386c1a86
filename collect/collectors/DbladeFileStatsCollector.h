#pragma once

#include <string>

#include "DbladeIoctl.h"
#include "DbladeStats.h"

// The D-blade kernel module's control file.
extern const char* dbladeDevice;

// Reads the D-blade kernel module's main statistics block with one ioctl on
// its control file and copies it, section by section, into a D-blade record.
class DbladeFileStatsCollector {
public:
    explicit DbladeFileStatsCollector(const char* device = dbladeDevice) : _device(device) {}

    // Fills the record from the kernel block. Without a control file the
    // record is left untouched; a failing ioctl copies a zeroed block.
    virtual void populate(_dbData* record);

    // Copies a kernel block of DBLADE_MAIN_STATS_SIZE bytes into the record.
    static void copyBlock(const unsigned char* block, _dbData* record);

private:
    std::string _device;
};
