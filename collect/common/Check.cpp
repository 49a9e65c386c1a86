#include "Check.h"

#include <cstdio>
#include <cstdlib>

#include "SLogger.h"

void tolmCheckFailed(const char* condition, const char* file, int line) {
    SLogger::crit("assertion failed: %s (%s:%d)", condition, file, line);
    fprintf(stderr, "assertion failed: %s (%s:%d)\n", condition, file, line);
    abort();
}
