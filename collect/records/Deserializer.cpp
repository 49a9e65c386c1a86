#include "Deserializer.h"

#include <cstdint>
#include <cstring>

#include "FieldRuns.h"

void Deserializer::readRuns(void* base, const FieldRuns& runs) {
    unsigned char* to = static_cast<unsigned char*>(base);
    for (const FieldRuns::Run& r : runs.runs())
        readValues(to + r.offset, r.kind, r.count);
}

void Deserializer::readValues(unsigned char* at, FieldRuns::Kind kind, size_t count) {
    switch (kind) {
        case FieldRuns::Kind::Words32:
            for (size_t i = 0; i < count; i++) {
                uint32_t v = read32();
                memcpy(at + 4 * i, &v, 4);
            }
            break;
        case FieldRuns::Kind::Words64:
            for (size_t i = 0; i < count; i++) {
                uint64_t v = read64();
                memcpy(at + 8 * i, &v, 8);
            }
            break;
        case FieldRuns::Kind::Twice16: {
            uint16_t v = read16();
            (void)read16();
            memcpy(at, &v, 2);
            break;
        }
    }
}
