#pragma once

#include <cstdint>
#include <string>

// The simulated D-blade location database (program 0x20000700 version 1,
// TCP): answers the host lookup by D-blade id (1) from a table of D-blades,
// each a host name and the UDP port of its Rf endpoint. An unknown D-blade
// gets status 1 (not found) and no address. The requests are served by whoever
// runs the RPC service loop of the process.
class SimDldbService {
  public:
    struct Options {
        // Non-negative: every answer has this status. With status 0 or 3 the
        // D-blade's address comes with it (when the table has one).
        int32_t forcedStatus = -1;
        // The next N requests are dropped with their connection.
        uint32_t dropRequests = 0;
    };

    static bool start();
    static void stop();
    static void setOptions(const Options& options);

    static void addDblade(uint16_t dbladeId, const std::string& host, uint16_t port);
    static void clear();

    // Requests for one D-blade, and for all, since the last clear or setOptions;
    // the connections they came on.
    static uint32_t requestsFor(uint16_t dbladeId);
    static uint32_t requests();
    static size_t connectionsSeen();
};
