#pragma once

// A fatal check of a programming error (a reference count gone below one, an
// unbalanced tag stack, a caller breaking an operation's contract). Unlike
// assert() it stays in force in every build type: the failed condition and its
// place are logged at crit level (and written to standard error), then the
// process aborts, leaving a core file.
[[noreturn]] void tolmCheckFailed(const char* condition, const char* file, int line);

#define TOLM_CHECK(cond)                                \
    do {                                                \
        if (!(cond)) {                                  \
            tolmCheckFailed(#cond, __FILE__, __LINE__); \
        }                                               \
    } while (0)

// The same with the text to log given (a condition spelled as the code's
// readers know it, whatever the macro expands to).
#define TOLM_CHECK_TEXT(cond, text)                    \
    do {                                               \
        if (!(cond)) {                                 \
            tolmCheckFailed(text, __FILE__, __LINE__); \
        }                                              \
    } while (0)
