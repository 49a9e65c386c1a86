#pragma once

#include <mutex>
#include <string>
#include <unordered_map>

#include "RecordValues.h"

// The Prometheus names of records' values, worked out once per field and
// kept: a field's family ("tolm_<type>_<name in snake case>", the words
// "counter", "gauge", "histogram" and "summary" shortened to "count",
// "level", "hist" and "summ"; "_total" for counters, "_bytes" for levels in
// kibibytes), its help and type, and the label names. An exporter keeps one
// for all its scrapes. Thread-safe; what it hands out stays valid for its
// life.
class MetricNames {
  public:
    struct Family {
        std::string name, help, type;
    };
    // The family of value `v` of a record of `type` ("nblade", "lp", ...).
    // Fields whose names come out the same share one family (the first
    // one's help).
    const Family& family(const std::string& type, const RecordValue& v);
    // A label's name ("lp_name" stays, "diskId" -> "disk_id").
    const std::string& label(const std::string& name);

  private:
    std::mutex _lock;
    std::unordered_map<std::string, Family> _byName;          // family name
    std::unordered_map<std::string, const Family*> _byField;  // type '\0' field name
    std::unordered_map<std::string, std::string> _labels;
    std::string _key;  // under _lock
};
