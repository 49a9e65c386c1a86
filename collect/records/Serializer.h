#pragma once

// Fixed-width writer through which every statistics record writes itself.
class Serializer {
public:
    virtual void write8(unsigned char v) = 0;
    virtual void write16(unsigned short v) = 0;
    virtual void write32(unsigned int v) = 0;
    virtual void write64(unsigned long long v) = 0;
    virtual void writeBuffer(const unsigned char* buf, int len) = 0;
    virtual void flush() = 0;
    virtual void close() = 0;
    // A file serializer flushes on destruction, which may throw.
    virtual ~Serializer() noexcept(false) {}
};
