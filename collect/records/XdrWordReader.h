#pragma once

#include <rpc/rpc.h>

#include <cstdint>
#include <cstring>

#include "Deserializer.h"

// Reads what XdrDeserializer reads, value for value and with the same
// results and failures ("read32 failed"...), but takes the stream's words in
// runs (XDR_INLINE) instead of one XDR call per value. A run may go past the
// value being read, so one reader must read everything that follows on the
// stream up to the end of the message (a reply's whole array of records);
// what it took and did not deliver is lost to other readers of the stream.
class XdrWordReader : public Deserializer {
  public:
    explicit XdrWordReader(XDR* xdrs) : _xdrs(xdrs) {}

    unsigned char read8() override { return static_cast<unsigned char>(word("read8 failed")); }
    unsigned short read16() override { return static_cast<unsigned short>(word("read16 failed")); }
    unsigned int read32() override { return word("read32 failed"); }
    unsigned long long read64() override;
    // Each byte is a word holding the byte as a signed char, as xdr_char reads it.
    unsigned int readBuffer(unsigned char* buf, int len) override;
    // Takes each run from the stream's buffer a block at a time.
    void readRuns(void* base, const FieldRuns& runs) override;
    void reset() override;
    void close() override {}

  private:
    uint32_t word(const char* failure) {
        if (_at == _end && !refill())
            return single(failure);
        uint32_t v;
        memcpy(&v, _at, 4);  // the stream's buffer need not be aligned
        _at += 4;
        return __builtin_bswap32(v);
    }
    // Takes the longest run the stream has contiguous, up to kRun words.
    bool refill();
    // One word through the stream itself (a word split between buffers).
    uint32_t single(const char* failure);

    static constexpr unsigned int kRun = 256;
    XDR* _xdrs;
    const unsigned char* _at = nullptr;
    const unsigned char* _end = nullptr;
};
