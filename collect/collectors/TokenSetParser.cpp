#include "TokenSetParser.h"

#include "GrowingRead.h"

#include <cstring>
#include "SLogger.h"

namespace {
constexpr int32_t kInitialSize = 1024;
}

TokenSetParser::TokenSetParser() : _buf(new char[kInitialSize]), _size(kInitialSize) {}

TokenSetParser::~TokenSetParser() { delete[] _buf; }

int32_t TokenSetParser::readFile(const char* path) {
    bool cut = false;
    int32_t n = readGrowing(path, _buf, _size, kInitialSize, &cut);
    if (cut && !_cut)
        SLogger::err("status file %s is larger than %d bytes: only its start is read", path,
                     kGrowingReadCeiling);
    _cut = cut;
    return n;
}

TokenSet* TokenSetParser::parse(const char* path) {
    int32_t n = readFile(path);
    if (n < 0) return nullptr;
    TokenSet* set = new TokenSet();
    std::vector<std::string>* values = nullptr;
    const char* end = _buf + n;
    const char* p = _buf;
    while (p < end) {
        char c = *p;
        if (c == '\n') {
            values = nullptr;
            p++;
            continue;
        }
        if (c == ' ' || c == '\t') {
            p++;
            continue;
        }
        const char* start = p;
        while (p < end && *p != ' ' && *p != '\t' && *p != '\n') p++;
        // A token the data ends in, with no delimiter after it, is dropped.
        if (p == end) break;
        std::string token(start, static_cast<size_t>(p - start));
        if (values == nullptr)
            values = set->startKey(token);
        else
            values->push_back(token);
    }
    return set;
}

bool TokenSetParser::scan(const char* path, const char* const* keys, size_t n, FirstValue* out) {
    int32_t size = readFile(path);
    if (size < 0) return false;
    for (size_t k = 0; k < n; k++) out[k] = FirstValue();
    size_t keyLength[16];
    for (size_t k = 0; k < n && k < 16; k++) keyLength[k] = strlen(keys[k]);
    FirstValue* current = nullptr;  // the key of this line, when it is one of ours
    bool atKey = true;              // the next token is a line's first
    const char* end = _buf + size;
    const char* p = _buf;
    while (p < end) {
        char c = *p;
        if (c == '\n') {
            atKey = true;
            current = nullptr;
            p++;
            continue;
        }
        if (c == ' ' || c == '\t') {
            p++;
            continue;
        }
        const char* start = p;
        while (p < end && *p != ' ' && *p != '\t' && *p != '\n') p++;
        // A token the data ends in, with no delimiter after it, is dropped.
        if (p == end) break;
        size_t length = static_cast<size_t>(p - start);
        if (atKey) {
            atKey = false;
            for (size_t k = 0; k < n && k < 16; k++)
                if (keyLength[k] == length && memcmp(keys[k], start, length) == 0) {
                    // Met again: this line's values replace the earlier ones.
                    current = &out[k];
                    *current = FirstValue();
                    current->found = true;
                    break;
                }
        } else if (current != nullptr) {
            current->token = start;
            current->length = length;
            current = nullptr;
        }
    }
    return true;
}
