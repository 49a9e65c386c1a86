#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The directory segments a directory read delivers, decoded by the client
// library (the host's byte order throughout).
//
// What the client reads, and the one rule for refusing it:
//   The client decodes only what the protocol fixes and accepts every choice
//   it leaves to the D-blade. A reply's segments are every byte after its
//   first 64 (status and attributes): their number comes from the reply's
//   length, never from its count, whose unit (bytes or segments) is the
//   D-blade's. Of a segment's 32-byte header the client reads the segment
//   type (the top two bits of byte 3, the overhead word's fourth byte) and the
//   64-bit entry_bitmask (bytes 24-31); bytes 4-23 (next_name, current_name,
//   next, prev, in whatever widths the D-blade gives them) and the overhead's
//   other bits are never read. Bit 0 of the mask stands for the header's own
//   slot and is ignored.
//   TOLM_ERR_INVALID_DATA ("Dblade Returned Invalid Data") is given for
//   exactly these: a reply whose segment bytes are not a whole number of
//   2048-byte segments or exceed the 9216-byte segment buffer; a name whose
//   extension chain ends early (the name not yet whole and its entry's
//   extension not valid), names entry 0, names an entry in use, or comes
//   back to an entry it has passed; and (TolmDir::readDir) a reply with
//   neither segments nor the end flag, after which the read could only ask
//   the same cookie again. A segment of a type other than 2 (name segment)
//   gives TOLM_ERR_NOT_NAME_SEGMENT.
//
// A name segment, 2048 bytes: the header in the slot of entry 0, then entries
// 1-63, 32 bytes each at 32 * i (bit i of the mask set: entry i holds a name):
//   0  name_length   u16  bytes of the whole name
//   2  u8: name_extension_valid (bit 0), is_tree_entry (bit 1),
//          name_extension_index (bits 2-7)
//   3  flags         u8
//   4  next_in_hash  u32  (not read)
//   8  inode         u32
//  12  uniquifier    u32
//  16  the first 16 bytes of the name
// A longer name goes on in the entry named by name_extension_index: 16 more
// bytes at offset 16 of that entry, whose own extension byte may name a
// further one, until name_length bytes are had.
class TolmDirSegment {
  public:
    static constexpr size_t kSize = 2048;
    static constexpr size_t kHeaderSize = 32;
    static constexpr size_t kEntrySize = 32;
    static constexpr int kEntries = 63;
    static constexpr size_t kInline = 16;
    // The segment buffer of a directory read: what one reply may carry.
    static constexpr size_t kMaxReplyBytes = 9216;
    static constexpr uint32_t kNameSegment = 2;

    struct Entry {
        int index;
        std::string name;
        uint32_t inode;
        uint32_t uniquifier;
        uint8_t flags;
    };

    enum Result { kOk, kNotNameSegment, kBroken };

    // Decodes one segment of kSize bytes: the entries in use, in index order.
    // Reads bytes 0-3 and 24-2047 only.
    static Result decode(const uint8_t* segment, std::vector<Entry>* entries);
};
