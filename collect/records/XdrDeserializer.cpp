#include "XdrDeserializer.h"

#include "SerializationException.h"

unsigned char XdrDeserializer::read8() {
    uint8_t v = 0;
    if (!xdr_uint8_t(_pxs, &v))
        throw SerializationException("read8 failed", 0);
    return v;
}

unsigned short XdrDeserializer::read16() {
    uint16_t v = 0;
    if (!xdr_uint16_t(_pxs, &v))
        throw SerializationException("read16 failed", 0);
    return v;
}

unsigned int XdrDeserializer::read32() {
    uint32_t v = 0;
    if (!xdr_uint32_t(_pxs, &v))
        throw SerializationException("read32 failed", 0);
    return v;
}

unsigned long long XdrDeserializer::read64() {
    uint64_t v = 0;
    if (!xdr_uint64_t(_pxs, &v))
        throw SerializationException("read64 failed", 0);
    return v;
}

unsigned int XdrDeserializer::readBuffer(unsigned char* buf, int len) {
    if (!xdr_vector(_pxs, reinterpret_cast<char*>(buf), len, 1,
                    reinterpret_cast<xdrproc_t>(xdr_char)))
        throw SerializationException("readBuffer failed", 0);
    return len;
}

void XdrDeserializer::reset() {
    throw SerializationException("reset unsupported", 0);
}
