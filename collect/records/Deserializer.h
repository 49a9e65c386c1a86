#pragma once

#include "FieldRuns.h"

// Fixed-width reader through which every statistics record reads itself.
class Deserializer {
public:
    virtual unsigned char read8() = 0;
    virtual unsigned short read16() = 0;
    virtual unsigned int read32() = 0;
    virtual unsigned long long read64() = 0;
    // Returns the number of bytes delivered.
    virtual unsigned int readBuffer(unsigned char* buf, int len) = 0;
    // Reads a whole field list into the struct at `base`, run by run, as the
    // list's values one by one would be read (a 16-bit value read twice, the
    // first copy kept): the same values and the same failure at the same
    // place. A reader that can take many values at once overrides it.
    virtual void readRuns(void* base, const FieldRuns& runs);
    virtual void reset() = 0;
    virtual void close() = 0;
    virtual ~Deserializer() = default;

  protected:
    // Reads `count` values of `kind` one by one into `at` (a 16-bit value
    // twice, the first copy kept).
    void readValues(unsigned char* at, FieldRuns::Kind kind, size_t count);
};
