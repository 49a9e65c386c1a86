#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The simulated D-blade's directory segments: the names of a directory
// packed into 2048-byte name segments, in one of the header layouts a
// D-blade may choose. Written from the protocol's own description, not from
// the client library's decoder, so that a mistake in either shows.
//
// Common to both layouts: the segment type 2 in the top two bits of byte 3,
// the 64-bit entry mask at bytes 24-31 (bit i: entry i holds a name), entries
// 1-63 of 32 bytes (name length u16, extension byte, flags, next_in_hash u32,
// inode u32, uniquifier u32, 16 name bytes); a longer name goes on, 16 bytes
// an entry, in entries whose mask bit is clear.
//
// Narrow header: next_name and current_name as 16-bit values at 4 and 6, next
// and prev as 32-bit words at 8 and 12, bytes 16-23 zero, the rest of the
// overhead word zero; extensions are taken from entry 63 downwards.
// Wide header: next_name and current_name as 32-bit words at 4 and 8, next as
// a 64-bit value at 12 and prev as a 32-bit word at 20 (nothing reserved), the
// number of entries in use in the overhead word's low 16 bits, mask bit 0 set
// for the header's own slot; each name's extensions follow it directly.
class SimDirSegments {
  public:
    enum class Header { Narrow, Wide };

    struct Name {
        std::string name;
        uint32_t inode;
        uint32_t uniquifier;
        uint8_t flags;
    };

    static constexpr size_t kSize = 2048;

    // Packs the names, in the order given, into as many segments as they
    // need. A name longer than one segment can hold (1008 bytes) is left out.
    static std::vector<std::vector<uint8_t>> pack(const std::vector<Name>& names, Header header);
};
