#include "SingleColExplicitLineDesc.h"

#include <cstring>

void SingleColExplicitLineDesc::update(void* base, int column, unsigned long long value) {
    if (column != 0) {
        return;
    }
    char* dst = static_cast<char*>(base) + _offset;
    if (_size == 4) {
        uint32_t v = static_cast<uint32_t>(value);
        std::memcpy(dst, &v, sizeof(v));
    } else if (_size == 8) {
        uint64_t v = value;
        std::memcpy(dst, &v, sizeof(v));
    }
}
