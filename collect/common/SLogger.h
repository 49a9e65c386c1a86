#pragma once

#include <cstdarg>
#include <functional>
#include <string>

// The daemon's logger: every message goes to syslog (ident "tolmstatsd"
// unless another program's name is given, facility user). Before initialize() messages go to standard error, stamped
// with the local time.
class SLogger {
public:
    static void initialize(bool toStderr, int level, const char* ident = "tolmstatsd");

    static void emerg(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void alert(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void crit(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void err(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void warning(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void notice(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void info(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
    static void debug(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

    // Tests observe what is logged: while an observer is set, every message
    // (priority and formatted text) is also handed to it. Null removes it.
    using Observer = std::function<void(int priority, const std::string& text)>;
    static void setObserver(Observer observer);

private:
    static void log(int priority, const char* fmt, va_list args);
    static bool _started;
};

// Writes one message to standard error with the local time in front.
void dump(const char* format, va_list args);
