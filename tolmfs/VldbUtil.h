#pragma once

#include <cstdint>

// Lookups in the cluster's volume location database.
class VldbUtil {
  public:
    // Finds the id of the VFS called `name`. Returns 0 on success, with `vfsid`
    // 0 when no such VFS exists; -1 when the VLDB cannot be reached; otherwise
    // the RPC call status.
    static uint32_t lookupVfsid(const char* name, uint32_t& vfsid);
};
