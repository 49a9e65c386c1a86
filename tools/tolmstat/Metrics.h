#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "RecordValues.h"

// The Prometheus text exposition form of records' values: one metric family
// per value name, "tolm_<type>_<name in snake case>" (the words "counter",
// "gauge", "histogram" and "summary" shortened to "count", "level", "hist" and
// "summ"), counters with "_total", levels and fetch statuses as gauges,
// levels in kibibytes as "_bytes" gauges in bytes; identities as labels. The
// record's own words (version, mask, created, completed) are left out. A "# HELP" line gives
// the record type and the field's own name, a "# TYPE" line its kind.
class Metrics {
  public:
    // Adds the values of one record of `type` ("nblade", "lp", ...).
    void add(const std::string& type, const std::vector<RecordValue>& values);
    std::string text() const;

    // "TolmGetAttr" -> "tolm_get_attr", "numDBufCacheHits" -> "num_dbuf_cache_hits".
    static std::string snakeCase(const std::string& name);
    static std::string escapeLabel(const std::string& v);

  private:
    struct Family {
        std::string name, help, type;
        std::vector<std::string> samples;
    };
    std::vector<Family> _families;
    std::unordered_map<std::string, size_t> _byName;   // family name -> _families
    std::unordered_map<std::string, size_t> _byField;  // type '\0' field name -> _families
    std::unordered_map<std::string, std::string> _labelNames;
};
