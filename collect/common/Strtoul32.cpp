#include "Strtoul32.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>

uint32_t strtoul32(const char* text, char** end, int base) {
    const char* p = text;
    while (isspace(static_cast<unsigned char>(*p)))
        p++;
    bool negative = *p == '-';
    int savedErrno = errno;
    errno = 0;
    unsigned long long value = strtoull(text, end, base);
    bool overflow = errno == ERANGE;
    if (errno == 0)
        errno = savedErrno;
    // strtoull has already negated a negative number in 64 bits; take the
    // magnitude back to see whether it fits in 32.
    unsigned long long magnitude = negative ? 0ULL - value : value;
    if (overflow || magnitude > 0xFFFFFFFFULL) {
        errno = ERANGE;
        return 0xFFFFFFFFu;
    }
    uint32_t result = static_cast<uint32_t>(magnitude);
    return negative ? 0u - result : result;
}
