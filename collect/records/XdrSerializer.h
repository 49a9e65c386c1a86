#pragma once

#include <rpc/rpc.h>

#include "Serializer.h"

// Writes values onto a borrowed XDR stream in 4-byte units: a 16-bit value takes
// four bytes and so does every byte of a buffer.
class XdrSerializer : public Serializer {
public:
    explicit XdrSerializer(XDR* xdrs) : _pxs(xdrs) {}

    void write8(unsigned char v) override;
    void write16(unsigned short v) override;
    void write32(unsigned int v) override;
    void write64(unsigned long long v) override;
    void writeBuffer(const unsigned char* buf, int len) override;
    void flush() override {}
    void close() override {}

private:
    XDR* _pxs;
};
