#pragma once

#include <cstdint>
#include <string>

// The simulated D-blade kernel module: its main statistics block (1248
// bytes, host byte order) kept in a file, and the control-file request that
// copies the block out.
class SimDbladeBlock {
public:
    // Writes a block whose counters grow with `tick` (32-bit word w holds
    // wordValue(w, tick); the two CPU idle words hold percentages). The file
    // is replaced whole.
    static bool write(const std::string& path, uint64_t tick);

    // Serves the statistics request on the control file from the block in
    // `blockPath`: checks the request number (0x89F0) and the selectors of
    // both levels (2, then 100) and copies the block into the buffer the
    // argument points to. Returns 0, or -1 with errno set (EINVAL for a
    // request it does not know, EIO for a missing or short block file).
    // Uses no allocation, so that a preload library can call it from an
    // interposed ioctl.
    static int serveIoctl(const char* blockPath, unsigned long request, void* arg);

    static uint32_t wordValue(uint32_t w, uint64_t tick) {
        return 0x01000000u + w * 0x100u + static_cast<uint32_t>(tick);
    }
    static constexpr uint32_t kIdleWord0 = 1132 / 4;
};
