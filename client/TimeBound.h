#pragma once

#include <cstdint>
#include <string>

// A point in time as the tools take it on the command line: seconds since
// the epoch ("1796646908"), a snapshot directory's name in local time
// ("20261207-231957"), or an offset back from the newest snapshot of the
// history asked ("-2h", "-30m", "-90s", "-1d").
class TimeBound {
  public:
    // False for any other text, or a value beyond 32 bits.
    static bool parse(const std::string& text, TimeBound* out);
    // The time meant, given the newest snapshot's; an offset beyond it is 0.
    uint32_t resolve(uint32_t newest) const;
    bool relative() const { return _relative; }

  private:
    bool _relative = false;
    uint32_t _value = 0;  // the time, or the offset in seconds
};
