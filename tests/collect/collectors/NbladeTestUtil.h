#pragma once

// Helpers of the N-blade collector tests: every field of a sub-record by name,
// so that a test can compare a whole sub-record against the values it expects
// and see a value that landed in the wrong field.

#include <cstdint>
#include <map>
#include <string>

#include "NbladeStats.h"

typedef std::map<std::string, uint64_t> FieldValues;

inline void addFieldValue(FieldValues& out, const std::string& name, uint32_t v) {
    out[name] = v;
}
inline void addFieldValue(FieldValues& out, const std::string& name, uint64_t v) {
    out[name] = v;
}
inline void addFieldValue(FieldValues& out, const std::string& name, const success_fail_t& v) {
    out[name + ".succeeded"] = v.succeeded;
    out[name + ".failed"] = v.failed;
}
inline void addFieldValue(FieldValues& out, const std::string& name, const bcp_histogram_t& v) {
    for (int i = 0; i < 60; i++) out[name + "[" + std::to_string(i) + "]"] = v[i];
}

// The fields of `sub` that are not zero, by name.
#define TEST_FIELD_VALUE(type, name, ...) addFieldValue(values, #name, sub.name);
#define NONZERO_FIELDS(subRecord, FIELDS)                  \
    [&] {                                                  \
        const auto& sub = (subRecord);                     \
        FieldValues values;                                \
        FIELDS(TEST_FIELD_VALUE)                           \
        for (auto it = values.begin(); it != values.end();) \
            it = it->second == 0 ? values.erase(it) : ++it; \
        return values;                                     \
    }()
