#pragma once

#include <cstdint>
#include <cstring>

#include "LineDesc.h"

// Stores the first value column at `_offset1` and the second at `_offset2`,
// each as a T; an `_offset2` of -1 means the line has no second destination.
// Columns from the third on are ignored.
template <typename T>
class DoubleColLineDesc : public LineDesc {
  public:
    static constexpr int32_t NO_OFFSET = -1;

    DoubleColLineDesc(uint32_t offset1, int32_t offset2) : _offset1(offset1), _offset2(offset2) {}

    void update(void* base, int column, unsigned long long value) override {
        T v = static_cast<T>(value);
        if (column == 0) {
            std::memcpy(static_cast<char*>(base) + _offset1, &v, sizeof(v));
        } else if (column == 1 && _offset2 != NO_OFFSET) {
            std::memcpy(static_cast<char*>(base) + static_cast<uint32_t>(_offset2), &v, sizeof(v));
        }
    }

    uint32_t _offset1;
    int32_t _offset2;
};
