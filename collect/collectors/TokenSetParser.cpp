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

namespace {

// Splits `n` bytes into lines of tokens (delimited by blanks, tabs and
// newlines): key(start, length) for the first token of a line, value(start,
// length) for the others. A token the data ends in, with no delimiter after
// it, is dropped, and the split ends there.
template <class Key, class Value>
void splitLines(const char* p, int32_t n, Key key, Value value) {
    const char* end = p + n;
    bool atKey = true;
    while (p < end) {
        char c = *p;
        if (c == '\n') {
            atKey = true;
            p++;
            continue;
        }
        if (c == ' ' || c == '\t') {
            p++;
            continue;
        }
        const char* start = p;
        while (p < end && *p != ' ' && *p != '\t' && *p != '\n') p++;
        if (p == end) break;
        size_t length = static_cast<size_t>(p - start);
        if (atKey) {
            atKey = false;
            key(start, length);
        } else {
            value(start, length);
        }
    }
}

}  // namespace

TokenSet* TokenSetParser::parse(const char* path) {
    int32_t n = readFile(path);
    if (n < 0) return nullptr;
    TokenSet* set = new TokenSet();
    std::vector<std::string>* values = nullptr;
    splitLines(
        _buf, n,
        [&](const char* start, size_t length) { values = set->startKey(std::string(start, length)); },
        [&](const char* start, size_t length) { values->emplace_back(start, length); });
    return set;
}

bool TokenSetParser::scan(const char* path, const char* const* keys, size_t n, FirstValue* out) {
    int32_t size = readFile(path);
    if (size < 0) return false;
    for (size_t k = 0; k < n; k++) out[k] = FirstValue();
    FirstValue* current = nullptr;  // the key of this line, when it is one of ours
    splitLines(
        _buf, size,
        [&](const char* start, size_t length) {
            current = nullptr;
            for (size_t k = 0; k < n; k++)
                if (strncmp(keys[k], start, length) == 0 && keys[k][length] == '\0') {
                    // Met again: this line's values replace the earlier ones.
                    current = &out[k];
                    *current = FirstValue();
                    current->found = true;
                    break;
                }
        },
        [&](const char* start, size_t length) {
            if (current != nullptr && current->token == nullptr) {
                current->token = start;
                current->length = length;
            }
        });
    return true;
}
