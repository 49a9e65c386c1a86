#pragma once

// A directory name segment written out by hand, byte by byte (little-endian,
// as on this host): the type in the top two bits of byte 3, the entry mask
// at 24, entries of 32 bytes at 32 * i. Bytes 4-23 are whatever a test puts
// there.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

struct HandSegment {
    std::vector<uint8_t> b = std::vector<uint8_t>(2048, 0);
    explicit HandSegment(uint8_t type = 2) { b[3] = static_cast<uint8_t>(type << 6); }
    void mask(uint64_t m) { memcpy(&b[24], &m, 8); }
    // An entry holding (the first 16 bytes of) a name, its extension naming
    // the entry where the name goes on (0: none).
    void entry(int i, const std::string& name, uint32_t inode, uint32_t uniq, uint8_t flags,
               int extension = 0) {
        uint8_t* e = &b[32 * i];
        uint16_t len = static_cast<uint16_t>(name.size());
        memcpy(e, &len, 2);
        e[2] = static_cast<uint8_t>(extension ? (extension << 2) | 1 : 0);
        e[3] = flags;
        memcpy(e + 8, &inode, 4);
        memcpy(e + 12, &uniq, 4);
        memcpy(e + 16, name.data(), name.size() < 16 ? name.size() : 16);
    }
    // An extension entry: 16 more bytes of a name, maybe naming a further one.
    void more(int i, const std::string& piece, int extension = 0) {
        uint8_t* e = &b[32 * i];
        e[2] = static_cast<uint8_t>(extension ? (extension << 2) | 1 : 0);
        memcpy(e + 16, piece.data(), piece.size());
    }
};
