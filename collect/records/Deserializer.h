#pragma once

// Fixed-width reader through which every statistics record reads itself.
class Deserializer {
public:
    virtual unsigned char read8() = 0;
    virtual unsigned short read16() = 0;
    virtual unsigned int read32() = 0;
    virtual unsigned long long read64() = 0;
    // Returns the number of bytes delivered.
    virtual unsigned int readBuffer(unsigned char* buf, int len) = 0;
    virtual void reset() = 0;
    virtual void close() = 0;
    virtual ~Deserializer() = default;
};
