#include "XdrSerializer.h"

#include "SerializationException.h"

void XdrSerializer::write8(unsigned char v) {
    if (!xdr_uint8_t(_pxs, &v))
        throw SerializationException("write8 failed", 0);
}

void XdrSerializer::write16(unsigned short v) {
    if (!xdr_uint16_t(_pxs, &v))
        throw SerializationException("write16 failed", 0);
}

void XdrSerializer::write32(unsigned int v) {
    if (!xdr_uint32_t(_pxs, &v))
        throw SerializationException("write32 failed", 0);
}

void XdrSerializer::write64(unsigned long long v) {
    uint64_t w = v;
    if (!xdr_uint64_t(_pxs, &w))
        throw SerializationException("write64 failed", 0);
}

void XdrSerializer::writeBuffer(const unsigned char* buf, int len) {
    // Each byte goes out as an XDR int of the byte taken as a signed char (as
    // xdr_char writes it; xdr_char itself stores back into its byte, which a
    // const buffer cannot take).
    for (int i = 0; i < len; i++) {
        int v = static_cast<signed char>(buf[i]);
        if (!xdr_int(_pxs, &v))
            throw SerializationException("writeBuffer failed", 0);
    }
}
