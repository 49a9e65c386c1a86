#pragma once

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "MetricNames.h"
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
    // With the names of `names` (which must outlive it), else its own.
    explicit Metrics(MetricNames* names = nullptr)
        : _own(names ? nullptr : std::make_unique<MetricNames>()),
          _names(names ? names : _own.get()) {}

    // Adds the values of one record of `type` ("nblade", "lp", ...).
    void add(const std::string& type, const std::vector<RecordValue>& values);
    std::string text() const;

    // "TolmGetAttr" -> "tolm_get_attr", "numDBufCacheHits" -> "num_dbuf_cache_hits".
    static std::string snakeCase(const std::string& name);
    static std::string escapeLabel(const std::string& v);
    static void appendEscaped(std::string& out, const std::string& v);

  private:
    // A family and its sample lines, in the order first seen.
    struct Out {
        const MetricNames::Family* family;
        std::string samples;
    };
    std::unique_ptr<MetricNames> _own;
    MetricNames* _names;
    std::vector<Out> _families;
    std::unordered_map<const MetricNames::Family*, size_t> _index;
};
