#pragma once

#include <string>
#include <vector>

#include "Rates.h"

// The lines of tolmstat watch: one per interval with the per-second rate of
// each chosen field (summed over its pools, volumes, disks or processes;
// "reset" when one of them went down), and a header line before the first and
// every 20th, as sar does.
class WatchView {
  public:
    explicit WatchView(std::vector<std::string> fields) : _fields(std::move(fields)) {}

    // The fields that name no counter of `rates`.
    std::vector<std::string> unknownFields(const std::vector<CounterRate>& rates) const;
    // The text for one interval (with the header line when one is due).
    std::string line(const std::vector<CounterRate>& rates, const std::string& when,
                     const std::string& stamp);

  private:
    std::vector<std::string> _fields;
    unsigned long _lines = 0;
};
