#include "RfLog.h"

#include <syslog.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void RfLog_error(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsyslog(LOG_USER | LOG_ERR, fmt, ap);
    va_end(ap);
}

void RfLog_debug(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    vsyslog(LOG_USER | LOG_DEBUG, fmt, ap);
    va_end(ap);
}

void RfLog_assertFailed(const char* text, const char* file, int line) {
    syslog(LOG_USER | LOG_CRIT, "assertion failed: %s (%s:%d)", text, file, line);
    fprintf(stderr, "assertion failed: %s (%s:%d)\n", text, file, line);
    abort();
}
