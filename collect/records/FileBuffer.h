#pragma once

#include <cstdint>
#include <cstring>

#include "RecordBuffer.h"

// A record's local file form in memory: every value little-endian at its own
// width, buffers byte for byte.
class FileBuffer : public RecordBuffer {
  public:
    void write8(unsigned char v) { *take(1) = v; }
    void write16(unsigned short v) { put(take(2), v); }
    void write32(unsigned int v) { put(take(4), v); }
    void write64(unsigned long long v) { put(take(8), v); }
    void writeBuffer(const unsigned char* buf, int len) {
        if (len > 0)
            memcpy(take(static_cast<size_t>(len)), buf, static_cast<size_t>(len));
    }

  private:
    // The hosts this builds for are little-endian; the others swap.
    template <typename T>
    static void put(unsigned char* p, T v) {
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
        for (size_t i = 0; i < sizeof v; i++)
            p[i] = static_cast<unsigned char>(v >> (8 * i));
#else
        memcpy(p, &v, sizeof v);
#endif
    }
};
