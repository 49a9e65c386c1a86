#pragma once

#include <cstdint>
#include <string>

#include "MgmtProcStats.h"

// One process found under /proc: its name, ids and memory figures (kB).
struct _ProcInfo {
    std::string name;
    uint32_t pid = 0;
    uint32_t ppid = 0;
    proc_stats_t stats = {};
};
