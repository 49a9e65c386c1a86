#include "TokenSetParser.h"

#include "GrowingRead.h"

TokenSetParser::TokenSetParser() : _buf(new char[1024]), _size(1024) {}

TokenSetParser::~TokenSetParser() { delete[] _buf; }

int32_t TokenSetParser::readFile(const char* path) { return readGrowing(path, _buf, _size); }

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
