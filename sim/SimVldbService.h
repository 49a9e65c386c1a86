#pragma once

#include <cstdint>
#include <string>

// The simulated VFS location database (program 0x20000200 version 3, TCP):
// answers the VFS id lookup (3), the mount lookup by VFS name (4) and the
// record lookup by VFS name (8) from a table of VFSes, each a name, a VFS id
// and the D-blade that serves it. An unknown VFS id gets result 105, an
// unknown name 102 from the mount lookup and result 0 with no record from the
// record lookup. The requests are served by whoever runs the RPC service loop
// of the process.
class SimVldbService {
  public:
    struct Options {
        // Non-zero: every lookup answers with this result (and nothing else).
        uint32_t forcedResult = 0;
        // The next N requests are dropped with their connection.
        uint32_t dropRequests = 0;
        // A faulty VLDB: each of the next N requests is answered, five times
        // a second, by replies that carry another xid, until its caller goes
        // away.
        uint32_t staleRequests = 0;
    };

    // Registers the program with the portmapper.
    static bool start();
    static void stop();
    static void setOptions(const Options& options);
    // Appends one line per stream lookup to the file ("vldb vfsid_lookup
    // vfsid=N", "vldb mount_lookup name=N"); empty: no log.
    static void setLogFile(const std::string& path);

    static void addVfs(const std::string& name, uint32_t vfsid, uint16_t dbladeId);
    static void clear();

    // The last record lookup served, for tests of the request.
    struct LastLookup {
        unsigned int inputMask = 0;
        std::string family;
        std::string vfsname;
        bool seen = false;
    };
    static LastLookup lastLookup();
    // Requests answered or dropped since the last clear or setOptions, and the
    // connections they came on.
    static uint32_t requests();
    static size_t connectionsSeen();
};
