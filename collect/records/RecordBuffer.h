#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// A record's bytes written straight into memory, a whole record at a time and
// without a virtual call per value, then sent or written in one piece: the
// growing byte store under FileBuffer (XdrBuffer stores whole words).
class RecordBuffer {
  public:
    RecordBuffer() { _buf.resize(4096); }

    const unsigned char* data() const { return _buf.data(); }
    size_t size() const { return _used; }
    // Empties the buffer, keeping its room for the next record.
    void clear() { _used = 0; }

  protected:
    // Room for n more bytes; returns where they go.
    unsigned char* take(size_t n) {
        if (_buf.size() - _used < n)
            _buf.resize(2 * (_used + n));
        unsigned char* p = _buf.data() + _used;
        _used += n;
        return p;
    }

  private:
    std::vector<unsigned char> _buf;
    size_t _used = 0;
};
