#pragma once

#include <cstddef>
#include <cstdint>

// The request of the D-blade kernel module's control file that copies out its
// main statistics block.
constexpr unsigned long DBLADE_STATS_IOCTL = 0x89F0;
// The selectors of the two levels of the request: the statistics area, then
// the main block within it.
constexpr uint32_t DBLADE_STATS_AREA = 2;
constexpr uint32_t DBLADE_MAIN_STATS_BLOCK = 100;
// The size of the main statistics block (_tolm_main_stats).
constexpr size_t DBLADE_MAIN_STATS_SIZE = 1248;

// One level of the request: a selector word and a pointer, which is a native
// pointer on a 64-bit host. The first level points to the second, the second
// to the caller's buffer of DBLADE_MAIN_STATS_SIZE bytes.
struct _dbladeIoctlArg {
    uint32_t selector;
    void* data;
};
