#pragma once

// RPC messages written out by hand, a big-endian word at a time.

#include <cstddef>
#include <cstdint>
#include <vector>

typedef std::vector<unsigned char> Bytes;

inline void word(Bytes& b, uint32_t v) {
    for (int i = 3; i >= 0; i--)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

inline Bytes words(const std::vector<uint32_t>& w) {
    Bytes b;
    for (uint32_t v : w)
        word(b, v);
    return b;
}

// The i-th word of `b`.
inline uint32_t wordAt(const Bytes& b, size_t i) {
    return static_cast<uint32_t>(b[4 * i]) << 24 | static_cast<uint32_t>(b[4 * i + 1]) << 16 |
           static_cast<uint32_t>(b[4 * i + 2]) << 8 | b[4 * i + 3];
}

// An accepted reply to `xid`: REPLY, MSG_ACCEPTED, a null verifier, the
// accept status, then the results.
inline std::vector<uint32_t> acceptedWords(uint32_t xid, uint32_t status,
                                           const std::vector<uint32_t>& results) {
    std::vector<uint32_t> w = {xid, 1, 0, 0, 0, status};
    w.insert(w.end(), results.begin(), results.end());
    return w;
}
