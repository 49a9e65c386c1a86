#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The simulated storage side of the node: the storage-pool manager
// (0x20000300), the volume service (0x20000307) and the FCD service
// (0x20000305), registered with the portmapper over TCP; the caller runs the
// RPC service loop. Counters are computed when asked, from the tick (seconds
// since start() unless fixed), so they advance without a timer.
struct SimStorageConfig {
    int pools = 4;
    int vfsPerPool = 8;
    int disks = 16;
    // Services to register.
    bool lpm = true;
    bool vol = true;
    bool fcd = true;
    // Non-zero statuses the services answer with.
    int poolListStatus = 0;
    unsigned int poolStatsStatus = 0;
    int vfsListStatus = 0;
    unsigned int globalStatus = 0;
    unsigned int volumeStatus = 0;
    unsigned int fcdError = 0;
    // The disk-list page (counted from 1) answered with a system error; 0: none.
    int fcdFailPage = 0;
    // The first volume-list page of each pool and the first disk page ask
    // for the request to be sent again.
    bool retryOnce = false;
    // Non-empty: the FCD global statistics are exactly these (type, value).
    std::vector<std::pair<int, uint64_t>> fcdTotals;
    // -1: ticks follow the clock.
    int64_t fixedTick = -1;
};

class SimStorageNode {
public:
    static bool start(const SimStorageConfig& config);
    static void stop();
    static void configure(const SimStorageConfig& config);

    // For tolmnodesim: takes option `name` with `value` (empty for a switch);
    // returns false for an option that is not one of these. `needsValue`
    // tells whether `name` takes a value.
    static bool parseOption(const std::string& name, const std::string& value,
                            SimStorageConfig& config);
    static bool needsValue(const std::string& name);
    static const char* optionsHelp();

    // What the services were asked, for tests.
    struct VfsListRequest {
        unsigned char lpID[16];
        uint32_t positionCookie;
        uint64_t stateCookie;
        uint32_t numEntriesToReturn;
    };
    struct VolStatsRequest {
        uint32_t vfsID;
        uint32_t flags;
        unsigned char lpUUID[16];
    };
    struct DiskListRequest {
        uint32_t sequenceNumber;
        uint64_t cookie;
        uint32_t numEntriesToReturn;
    };
    struct Log {
        std::vector<uint32_t> poolListArgs;
        std::vector<std::vector<unsigned char>> poolStatsUuids;
        std::vector<VfsListRequest> vfsLists;
        std::vector<VolStatsRequest> volStats;
        std::vector<DiskListRequest> diskLists;
    };
    static Log log();
    static void clearLog();

    // The node the services describe, so tests can compute what to expect.
    static void poolUuid(int pool, unsigned char out[16]);
    static std::string poolName(int pool);
    static int poolState(int pool);  // every third pool is offline
    static uint32_t vfsId(int pool, int volume) { return (pool + 1) * 1000u + volume; }
    // Counter k of pool `pool` (numReads is 0, ..., numVolDumpsForMove 9).
    static uint64_t poolCounter(int pool, int k, uint64_t tick) {
        return (static_cast<uint64_t>(pool + 1) << 36) + k * 10u + tick;
    }
    // Entry e of ops_count of a volume (vfsid != 0) or of the node (vfsid 0).
    static uint64_t opsCount(uint32_t vfsid, int e, uint64_t tick) {
        return (static_cast<uint64_t>(vfsid + 1) << 33) + e * 100u + tick;
    }
    static uint64_t fcdTotal(int type, uint64_t tick) { return (type + 1) * 1000000u + tick; }
    static uint32_t diskCounter(int disk, int k, uint64_t tick) {
        return static_cast<uint32_t>(disk * 10 + k + 1 + tick);
    }
};
