#pragma once

#include <string>

// Thrown by value by every serializer and record reader; `code` is an errno
// value, or 0 when no system error applies.
class SerializationException {
public:
    SerializationException(const char* msg, unsigned int code) : code(code), msg(msg) {}
    SerializationException(std::string msg, unsigned int code) : code(code), msg(std::move(msg)) {}

    unsigned int code;
    std::string msg;
};
