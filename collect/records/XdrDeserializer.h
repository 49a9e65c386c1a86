#pragma once

#include <rpc/rpc.h>

#include "Deserializer.h"

// Reads what XdrSerializer writes from a borrowed XDR stream.
class XdrDeserializer : public Deserializer {
public:
    explicit XdrDeserializer(XDR* xdrs) : _pxs(xdrs) {}

    unsigned char read8() override;
    unsigned short read16() override;
    unsigned int read32() override;
    unsigned long long read64() override;
    unsigned int readBuffer(unsigned char* buf, int len) override;
    // An XDR stream cannot be rewound: always throws.
    void reset() override;
    void close() override {}

private:
    XDR* _pxs;
};
