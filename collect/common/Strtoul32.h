#pragma once

#include <cstdint>

// strtoul as a 32-bit C library has it, on any host: the same syntax (leading
// white space, an optional sign, base 0 prefixes), the same end pointer, but a
// value whose magnitude does not fit in 32 bits saturates at 0xFFFFFFFF (with
// errno ERANGE) instead of being cut to its low 32 bits, and a negative number
// is negated in 32 bits ("-1" is 0xFFFFFFFF).
uint32_t strtoul32(const char* text, char** end, int base);
