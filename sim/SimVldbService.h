#pragma once

#include <cstdint>
#include <map>
#include <string>

// The simulated volume location database: answers the VLDB record lookup by
// VFS name (and the VFS id and mount lookups) from a table of VFSes, and
// remembers the last record lookup it served so tests can check the request.
class SimVldbService {
public:
    // Registers the VLDB program (version 3, TCP) with the portmapper; the
    // requests are served by whoever runs the RPC service loop.
    static bool start();
    static void stop();

    static void addVfs(const std::string& name, uint32_t vfsid, uint16_t dbladeId);
    static void clear();

    struct LastLookup {
        unsigned int inputMask = 0;
        std::string family;
        std::string vfsname;
        bool seen = false;
    };
    static LastLookup lastLookup();
};
