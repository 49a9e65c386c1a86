#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RecordValues.h"

// One snapshot's values of a record, flattened.
// `afterGap`: the snapshot before it in the history was missing or unreadable.
struct CsvSample {
    uint32_t stamp;
    std::vector<RecordValue> values;
    bool afterGap = false;
};

// The per-second rates of fields between one sample and the one before it,
// each summed over its pools, volumes, disks or processes; a field absent
// from either sample, or one of whose counters went down, has none.
struct RateRow {
    uint32_t stamp;  // the later sample's
    std::vector<double> values;
    std::vector<bool> present;
    bool afterGap = false;    // the later sample's
    std::vector<bool> reset;  // one of the field's counters went down
};
// One row per sample after the first.
std::vector<RateRow> fieldRates(const std::vector<std::string>& fields,
                                const std::vector<CsvSample>& samples);

// The table of tolmstat csv, as sadf -d gives one for sar files: a header
// row "timestamp,FIELD,...", then one row per snapshot: its time in seconds
// since the epoch, then each field's value summed over its pools, volumes,
// disks or processes (as watch sums). With `rates`, each cell is instead the
// per-second rate since the previous sample (the first sample gives no row),
// and a field one of whose counters went down gives an empty cell, never a
// negative rate. A field absent from a sample gives an empty cell.
std::string csvTable(const std::vector<std::string>& fields, const std::vector<CsvSample>& samples,
                     bool rates);

// The fields that name no value of any sample (with `counters`, no counter).
std::vector<std::string> csvUnknownFields(const std::vector<std::string>& fields,
                                          const std::vector<CsvSample>& samples, bool counters);
