#pragma once

// Minimal syslog-based logging of the Rf transport, and its fatal checks.

// Logs a printf-style message at error level.
void RfLog_error(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Logs a printf-style message at debug level.
void RfLog_debug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Reports a failed check (to syslog and standard error) and aborts the process.
[[noreturn]] void RfLog_assertFailed(const char* text, const char* file, int line);

// A fatal check on caller errors that stays in force in optimized builds.
#define RF_ASSERT(cond, text)                             \
    do {                                                  \
        if (!(cond)) {                                    \
            RfLog_assertFailed(text, __FILE__, __LINE__); \
        }                                                 \
    } while (0)
