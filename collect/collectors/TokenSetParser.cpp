#include "TokenSetParser.h"

#include "GrowingRead.h"
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
