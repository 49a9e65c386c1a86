#pragma once

#include <sys/time.h>

#include <cstdint>

// A clock the test moves by hand; installed as an endpoint's timer time source.
class RfFakeClock {
  public:
    static void now(void* contextp, struct timeval* tvp) {
        *tvp = static_cast<RfFakeClock*>(contextp)->_now;
    }
    void advanceMs(int64_t ms) {
        int64_t usec = static_cast<int64_t>(_now.tv_usec) + (ms % 1000) * 1000;
        _now.tv_sec += ms / 1000 + usec / 1000000;
        _now.tv_usec = usec % 1000000;
    }
    int64_t elapsedMs() const { return (_now.tv_sec - kStartSecs) * 1000 + _now.tv_usec / 1000; }

  private:
    static constexpr long kStartSecs = 100000;
    struct timeval _now = {kStartSecs, 0};
};
