#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FieldRuns.h"

// A record's local file form in memory, a whole record at a time and without
// a virtual call per value (the records' serializeTo is instantiated for it):
// exactly what FileSerializer puts in a file, every value little-endian at
// its own width, buffers byte for byte. The dump then writes it in one piece.
class FileBuffer {
  public:
    FileBuffer() : _buf(4096) {}

    void write8(unsigned char v) { *take(1) = v; }
    void write16(unsigned short v) { put(take(2), v); }
    void write32(unsigned int v) { put(take(4), v); }
    void write64(unsigned long long v) { put(take(8), v); }
    void writeBuffer(const unsigned char* buf, int len) {
        if (len > 0)
            memcpy(take(static_cast<size_t>(len)), buf, static_cast<size_t>(len));
    }

    void putRuns(const void* base, const FieldRuns& runs) {
        runs.putFile(base, take(runs.fileBytes()));
    }

    const unsigned char* data() const { return _buf.data(); }
    size_t size() const { return _used; }

  private:
    // Room for n more bytes; returns where they go.
    unsigned char* take(size_t n) {
        if (_buf.size() - _used < n)
            _buf.resize(2 * (_used + n));
        unsigned char* p = _buf.data() + _used;
        _used += n;
        return p;
    }
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

    std::vector<unsigned char> _buf;
    size_t _used = 0;
};
