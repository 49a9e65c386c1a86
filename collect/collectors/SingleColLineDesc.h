#pragma once

#include <cstdint>
#include <cstring>

#include "LineDesc.h"

// Stores the first value column as a T (unsigned int keeps the low 32 bits,
// unsigned long long all 64) at a fixed offset; later columns are ignored.
template <typename T>
class SingleColLineDesc : public LineDesc {
  public:
    explicit SingleColLineDesc(uint32_t offset) : _offset(offset) {}

    void update(void* base, int column, unsigned long long value) override {
        if (column != 0) {
            return;
        }
        T v = static_cast<T>(value);
        std::memcpy(static_cast<char*>(base) + _offset, &v, sizeof(v));
    }

    uint32_t _offset;
};
