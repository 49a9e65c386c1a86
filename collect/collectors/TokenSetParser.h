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

    // The first value of a key as parse would give it: the first token after
    // the key on the key's last line; `found` without a value when that line
    // has none. The token points into the parser's buffer and ends at a blank,
    // tab or newline (valid until the next read).
    struct FirstValue {
        bool found = false;
        const char* token = nullptr;
        size_t length = 0;
    };
    // Reads the file and gives the first value of each of the `n` keys into
    // out[0..n), by the same rules as parse but without building a set.
    // False when the file cannot be read.
    bool scan(const char* path, const char* const* keys, size_t n, FirstValue* out);

    int32_t capacity() const { return _size; }

private:
    char* _buf;
    int32_t _size;
    bool _cut = false;  // the last file read stopped at the ceiling
};
