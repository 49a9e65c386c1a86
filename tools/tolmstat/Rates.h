#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RecordValues.h"

// The change of one counter between two snapshots of a record.
struct CounterRate {
    const RecordValue* newer;
    bool reset;        // it went down: the node restarted or the counter wrapped
    uint64_t delta;    // newer - older when not reset
    int64_t older;     // the earlier value, for a reset (as its field reads it)
    double perSecond;  // delta / seconds when not reset
};

// The rates of every counter found in both snapshots (matched by name and
// labels), in the newer record's order. `seconds` is the time between them.
std::vector<CounterRate> counterRates(const std::vector<RecordValue>& older,
                                      const std::vector<RecordValue>& newer, double seconds);

// One line per rate: "name{labels} delta per-second", or "name reset (a -> b)".
std::string ratesText(const std::vector<CounterRate>& rates);
// {"from": T1, "to": T2, "seconds": S, "rates": [{"name", "labels", "delta",
// "per_second"} or {"name", "labels", "reset": true, "from", "to"}]}.
std::string ratesJson(const std::vector<CounterRate>& rates, uint32_t from, uint32_t to);
