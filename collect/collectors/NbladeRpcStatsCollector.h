#pragma once

#include <cstdint>
#include <string>

#include "NbladeStats.h"

// Base of the collectors that ask the N-blade's stream statistics service for
// protocol operation counters; each collection makes and destroys its own
// client handle.
class NbladeRpcStatsCollector {
  public:
    static constexpr unsigned long PROGRAM = 0x20000500;
    static constexpr unsigned long VERSION = 1;
    static constexpr unsigned long PROCEDURE = 17;
    static constexpr uint32_t ENDIAN_CHECK = 0x80000000u;
    // Status when no client handle could be made.
    static constexpr int32_t NO_CLIENT = -1;
    // Status when the reply did not carry the expected number of words.
    static constexpr int32_t SIZE_MISMATCH = -2;
    static const bool amBigEndian;

    explicit NbladeRpcStatsCollector(const std::string& host) : _host(host) {}
    virtual ~NbladeRpcStatsCollector() {}

    // Repairs the byte order of `count` words in place: an `order` with its top
    // bit set means the words need swapping on a little-endian host, otherwise
    // on a big-endian one.
    void convert(unsigned int* words, unsigned int count, unsigned int order);

  protected:
    // One statistics query of `statType`; when the reply holds exactly
    // `expectedBytes`, its words (byte order repaired) go to copyCounters,
    // otherwise `mismatchFormat` is logged with the received and the expected
    // byte count. Returns the status word for the record.
    int32_t query(int statType, unsigned int expectedBytes, const char* mismatchFormat,
                  nblade_data_t* record);
    virtual void copyCounters(const unsigned int* words, nblade_data_t* record) = 0;

    // Counter `index` of an array of 64-bit counters, low word first.
    static uint64_t counter64(const unsigned int* words, unsigned int index) {
        return static_cast<uint64_t>(words[2 * index]) |
               (static_cast<uint64_t>(words[2 * index + 1]) << 32);
    }

    std::string _host;
};
