#include "SLogger.h"

#include <syslog.h>

#include <cstdio>
#include <ctime>
#include <mutex>

bool SLogger::_started = false;

namespace {
std::mutex observerMutex;
SLogger::Observer& observer() {
    static SLogger::Observer o;
    return o;
}
}  // namespace

void SLogger::setObserver(Observer o) {
    std::lock_guard<std::mutex> lock(observerMutex);
    observer() = std::move(o);
}

void SLogger::initialize(bool toStderr, int level, const char* ident) {
    openlog(ident, LOG_CONS | (toStderr ? LOG_PERROR : 0), LOG_USER);
    setlogmask((1 << (level + 1)) - 1);
    _started = true;
}

void dump(const char* format, va_list args) {
    time_t now = time(nullptr);
    char text[32];
    ctime_r(&now, text);
    // Month, day and time with the blank after them: characters 4 to 19.
    fprintf(stderr, "%.16s", text + 4);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
}

void SLogger::log(int priority, const char* fmt, va_list args) {
    {
        std::lock_guard<std::mutex> lock(observerMutex);
        if (observer()) {
            va_list copy;
            va_copy(copy, args);
            char text[1024];
            vsnprintf(text, sizeof(text), fmt, copy);
            va_end(copy);
            observer()(priority, text);
        }
    }
    if (_started)
        vsyslog(priority, fmt, args);
    else
        dump(fmt, args);
}

#define SLOGGER_LEVEL(name, priority)         \
    void SLogger::name(const char* fmt, ...) { \
        va_list args;                          \
        va_start(args, fmt);                   \
        log(priority, fmt, args);              \
        va_end(args);                          \
    }
SLOGGER_LEVEL(emerg, LOG_EMERG)
SLOGGER_LEVEL(alert, LOG_ALERT)
SLOGGER_LEVEL(crit, LOG_CRIT)
SLOGGER_LEVEL(err, LOG_ERR)
SLOGGER_LEVEL(warning, LOG_WARNING)
SLOGGER_LEVEL(notice, LOG_NOTICE)
SLOGGER_LEVEL(info, LOG_INFO)
SLOGGER_LEVEL(debug, LOG_DEBUG)
