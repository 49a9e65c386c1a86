#pragma once

#include <cstdint>

// The most of one file that readGrowing reads (16 MiB): a statistics or status
// file beyond it is read up to it, and the rest is left unread.
constexpr int32_t kGrowingReadCeiling = 16 * 1024 * 1024;

// Reads the whole file `path` into `buf` (capacity `size`, both owned by the
// caller and updated): reads ask for `size` bytes at a time, and each read
// that fills its request doubles the capacity, keeping the data read so far at
// the start of the buffer; the grown buffer stays for later reads. Growth
// stops at `ceiling` bytes: *cut tells whether the file went on beyond them.
// A buffer four times larger than what was read, and larger than
// `initialSize`, shrinks back to the smallest doubling of `initialSize` that
// holds the data. Returns the bytes read, or a negative value when the file
// cannot be opened or read. The data is not NUL-terminated. Throws only what
// `new` throws.
int32_t readGrowing(const char* path, char*& buf, int32_t& size, int32_t initialSize, bool* cut,
                    int32_t ceiling = kGrowingReadCeiling);
