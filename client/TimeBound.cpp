#include "TimeBound.h"

#include "StampName.h"

bool TimeBound::parse(const std::string& text, TimeBound* out) {
    if (text.empty())
        return false;
    if (parseStampName(text, &out->_value)) {
        out->_relative = false;
        return true;
    }
    bool relative = text[0] == '-';
    std::string digits = relative ? text.substr(1, text.size() - 2) : text;
    uint64_t unit = 1;
    if (relative) {
        switch (text.back()) {
            case 's':
                unit = 1;
                break;
            case 'm':
                unit = 60;
                break;
            case 'h':
                unit = 3600;
                break;
            case 'd':
                unit = 86400;
                break;
            default:
                return false;
        }
    }
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    uint64_t v = std::stoull(digits) * unit;
    if (v > 0xFFFFFFFFull)
        return false;
    out->_relative = relative;
    out->_value = static_cast<uint32_t>(v);
    return true;
}

uint32_t TimeBound::resolve(uint32_t newest) const {
    if (!_relative)
        return _value;
    return _value > newest ? 0 : newest - _value;
}
