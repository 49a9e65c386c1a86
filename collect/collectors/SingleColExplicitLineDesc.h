#pragma once

#include <cstdint>

#include "LineDesc.h"

// Stores the first value column at a fixed offset in a field of 4 or 8 bytes
// given at construction; any other width stores nothing.
class SingleColExplicitLineDesc : public LineDesc {
  public:
    SingleColExplicitLineDesc(uint32_t offset, int32_t size) : _offset(offset), _size(size) {}

    void update(void* base, int column, unsigned long long value) override;

    uint32_t _offset;
    int32_t _size;
};
