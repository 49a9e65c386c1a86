#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One 2048-byte name segment of a directory, as a directory read delivers
// them (the host's byte order throughout).
//
// Header, 32 bytes (the slot of entry 0):
//   0  overhead      u32  the segment type in the top two bits of its fourth
//                         byte (bits 30-31 of the word on a little-endian
//                         host): 2 = name segment; the other bits are 0
//   4  next_name     u16  index of the next name segment of the directory
//   6  current_name  u16  index of this segment
//   8  next          u32  the next segment in the directory's chain (0: none)
//  12  prev          u32  the previous one (0: none)
//  16  reserved      8 bytes, zero
//  24  entry_bitmask u64  bit i set: entry i holds a name (bit 0 is never set)
// Entries 1-63, 32 bytes each at 32 * i:
//   0  name_length   u16  bytes of the whole name (at most 1023)
//   2  u8: name_extension_valid (bit 0), is_tree_entry (bit 1),
//          name_extension_index (bits 2-7)
//   3  flags         u8
//   4  next_in_hash  u32
//   8  inode         u32
//  12  uniquifier    u32
//  16  the first 16 bytes of the name
// A longer name goes on in the entry named by name_extension_index: 16 more
// bytes at offset 16 of that entry, which may name a further one. Extension
// entries have their mask bit clear.
//
// A segment breaks the layout (the library gives 0x1000016) when a reserved
// byte or the overhead's other bits are not zero, bit 0 of the mask is set, a
// name is longer than 1023 bytes, or its extension chain ends early, names
// entry 0 or an entry in use, or loops.
class TolmDirSegment {
  public:
    static constexpr size_t kSize = 2048;
    static constexpr size_t kEntrySize = 32;
    static constexpr int kEntries = 63;
    static constexpr size_t kInline = 16;
    static constexpr size_t kMaxName = 1023;
    static constexpr uint32_t kNameSegment = 2;

    struct Entry {
        int index;
        std::string name;
        uint32_t inode;
        uint32_t uniquifier;
        uint8_t flags;
    };

    enum Result { kOk, kNotNameSegment, kBroken };

    // Decodes a segment: the entries in use, in index order.
    static Result decode(const uint8_t* segment, std::vector<Entry>* entries);

    // Builds one segment (the D-blade's side): names are placed in the order
    // given, extensions taking the free entries from the end. Returns how many
    // names fitted.
    static size_t encode(const std::vector<Entry>& names, uint16_t current, uint16_t nextName,
                         uint32_t next, uint32_t prev, uint8_t* segment);
    // Entries a name takes.
    static int entriesFor(size_t nameLength);
};
