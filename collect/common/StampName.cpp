#include "StampName.h"

#include <cstdio>
#include <ctime>

std::string stampName(int32_t timestamp) {
    time_t t = timestamp;
    struct tm tm;
    localtime_r(&t, &tm);
    char text[32];
    // Four-digit year, then two digits each: 20261206-134501.
    snprintf(text, sizeof text, "%04d%02d%02d-%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1,
             tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    return text;
}

bool parseStampName(const std::string& name, uint32_t* timestamp) {
    if (name.size() != 15 || name[8] != '-')
        return false;
    for (size_t i = 0; i < name.size(); i++)
        if (i != 8 && (name[i] < '0' || name[i] > '9'))
            return false;
    auto digits = [&](size_t at, size_t n) { return std::stoi(name.substr(at, n)); };
    struct tm tm = {};
    tm.tm_year = digits(0, 4) - 1900;
    tm.tm_mon = digits(4, 2) - 1;
    tm.tm_mday = digits(6, 2);
    tm.tm_hour = digits(9, 2);
    tm.tm_min = digits(11, 2);
    tm.tm_sec = digits(13, 2);
    if (tm.tm_mon > 11 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 60)
        return false;
    tm.tm_isdst = -1;
    time_t t = mktime(&tm);
    if (t < 0 || t > static_cast<time_t>(0xFFFFFFFFu))
        return false;
    *timestamp = static_cast<uint32_t>(t);
    return true;
}
