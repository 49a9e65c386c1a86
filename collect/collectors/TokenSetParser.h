#pragma once

#include <cstdint>

#include "TokenSet.h"

// Splits small text files (process status files) into a TokenSet: the first
// token of each line is a key, the others its values. The read buffer is
// reused for every file; it grows up to kGrowingReadCeiling and shrinks back
// after a large file.
class TokenSetParser {
public:
    TokenSetParser();
    ~TokenSetParser();
    TokenSetParser(const TokenSetParser&) = delete;
    TokenSetParser& operator=(const TokenSetParser&) = delete;

    // Reads the whole file; the byte count, or a negative value.
    int32_t readFile(const char* path);
    // A new set owned by the caller, or null when the file cannot be read.
    TokenSet* parse(const char* path);

    int32_t capacity() const { return _size; }

private:
    char* _buf;
    int32_t _size;
    bool _cut = false;  // the last file read stopped at the ceiling
};
