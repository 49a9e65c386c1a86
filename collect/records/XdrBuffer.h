#pragma once

#include <cstdint>
#include <cstring>

#include "RecordBuffer.h"

// A record's XDR form in memory: a byte and a 16-bit value take four bytes,
// a 64-bit value eight, most significant first; each byte of a buffer is a
// four-byte int of the byte taken as a signed char.
class XdrBuffer : public RecordBuffer {
  public:
    void write8(unsigned char v) { put32(take(4), v); }
    void write16(unsigned short v) { put32(take(4), v); }
    void write32(unsigned int v) { put32(take(4), v); }
    void write64(unsigned long long v) {
        unsigned char* p = take(8);
        put32(p, static_cast<uint32_t>(v >> 32));
        put32(p + 4, static_cast<uint32_t>(v));
    }
    void writeBuffer(const unsigned char* buf, int len) {
        if (len <= 0)
            return;
        unsigned char* p = take(4 * static_cast<size_t>(len));
        for (int i = 0; i < len; i++, p += 4)
            put32(p, static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(buf[i]))));
    }

  private:
    static void put32(unsigned char* p, uint32_t v) {
        v = __builtin_bswap32(v);
        memcpy(p, &v, 4);
    }
};
