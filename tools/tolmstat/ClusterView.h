#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "CsvView.h"  // CsvSample

// One node's line of tolmstat cluster: its newest snapshot and the
// per-second rates of the chosen fields between two of its snapshots (the two
// newest, or the ends of a window), each summed over pools, volumes, disks
// and processes as watch sums.
struct ClusterRow {
    std::string node;
    bool reached = false;  // false: the node did not answer; `error` says why
    std::string error;
    bool hasNewest = false;  // at least one snapshot
    uint32_t newest = 0;
    bool hasRates = false;  // at least two snapshots
    uint32_t older = 0;     // the earlier one of the rates
    // Per field: its per-second rate; whether it names a counter of both
    // snapshots; whether one of its counters went down (no rate then).
    std::vector<double> perSecond;
    std::vector<bool> known, reset;
};

// The row of `node` from the values of its snapshots (oldest first; only the
// first and the last count).
ClusterRow clusterRow(const std::string& node, const std::vector<std::string>& fields,
                      const std::vector<CsvSample>& samples);

// The fields that no row with rates has a counter for (none when no row has
// rates at all: nothing can be said then).
std::vector<std::string> clusterUnknownFields(const std::vector<std::string>& fields,
                                              const std::vector<ClusterRow>& rows);

// The table for a terminal: a header line "node newest age FIELD...", then
// one aligned line per row: the node, its newest snapshot's stamp
// (20261208-133000), its age in seconds at `now`, and each field's rate with
// three decimals; "unreachable" for a node that did not answer, "-" for what a
// node with too few snapshots cannot give, and "reset" for a field one of
// whose counters went down.
std::string clusterText(const std::vector<std::string>& fields, const std::vector<ClusterRow>& rows,
                        uint32_t now);
// "node,newest,age,FIELD..." then one line per row: newest in seconds since
// the epoch; "unreachable" as the newest cell of a node that did not answer;
// empty cells for what is not known.
std::string clusterCsv(const std::vector<std::string>& fields, const std::vector<ClusterRow>& rows,
                       uint32_t now);
// [{"node", "state": "ok" | "unreachable" | "too few snapshots", "error",
//   "newest", "age", "from", "seconds", "rates": {FIELD: rate or null}}, ...]
// with only what the state gives.
std::string clusterJson(const std::vector<std::string>& fields, const std::vector<ClusterRow>& rows,
                        uint32_t now);

// Node names in their natural order: node2 before node10.
bool naturalLess(const std::string& a, const std::string& b);
