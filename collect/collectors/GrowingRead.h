#pragma once

#include <cstdint>

// Reads the whole file `path` into `buf` (capacity `size`, both owned by the
// caller and updated): reads ask for `size` bytes at a time, and each read
// that fills its request doubles the capacity, keeping the data read so far at
// the start of the buffer; the grown buffer stays for later reads. Returns the
// bytes read, or a negative value when the file cannot be opened or read. The
// data is not NUL-terminated.
int32_t readGrowing(const char* path, char*& buf, int32_t& size);
