#pragma once

#include <cstdint>

// The simulated N-blade stream statistics service (program 0x20000500,
// version 1, procedure 17): answers the NFS counter request with 370 words
// and the CIFS one with 329 words in the SmbStats layout. Counter k of a
// request served at tick t has the value counterValue(k, t); ticks advance by
// one per second since start() unless a test fixes them.
class SimStreamService {
public:
    struct Options {
        // Non-zero: every reply carries this error and no data.
        int32_t error = 0;
        // Added to the number of words in every reply (negative: fewer).
        int32_t wordDelta = 0;
        // Send the words byte-reversed and say so in the control word.
        bool swapped = false;
        // -1: ticks follow the clock; otherwise every reply uses this tick.
        int64_t fixedTick = -1;
    };

    // Registers the service with the portmapper (TCP); the caller runs the
    // RPC service loop.
    static bool start(const Options& options);
    static void stop();
    static void setOptions(const Options& options);
    // Requests served since start().
    static uint32_t requests();

    static constexpr uint32_t NFS_WORDS = 370;
    static constexpr uint32_t CIFS_WORDS = 329;

    // The value of 64-bit counter `k` at `tick`: both halves non-zero, so a
    // lost high word or swapped halves show.
    static uint64_t counterValue(uint32_t k, uint64_t tick) {
        return (static_cast<uint64_t>(k + 1) << 32) + k * 16u + tick;
    }
    // The value of a 32-bit field at word `w`.
    static uint32_t wordValue(uint32_t w, uint64_t tick) {
        return 0x10000u + w * 8u + static_cast<uint32_t>(tick);
    }
};
