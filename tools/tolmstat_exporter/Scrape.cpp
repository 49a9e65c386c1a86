#include "Scrape.h"

#include <cstdio>
#include <vector>

#include "Metrics.h"
#include "RecordValues.h"

namespace {

std::string number(double v) {
    char buf[40];
    snprintf(buf, sizeof buf, "%.9g", v);
    return buf;
}

// One gauge family's lines: its help and type, then its samples.
struct Gauge {
    std::string name, help;
    std::vector<std::string> samples;
    void add(const std::string& labels, const std::string& value) {
        samples.push_back(name + (labels.empty() ? "" : "{" + labels + "}") + " " + value);
    }
    std::string text() const {
        std::string out = "# HELP " + name + " " + help + "\n# TYPE " + name + " gauge\n";
        for (const std::string& s : samples)
            out += s + "\n";
        return out;
    }
};

// The fetch status words of a record itself (not its pools' or disks'):
// "_nfsStatsRpcStatus" -> "nfs_stats_rpc".
std::string sourceName(const std::string& field) {
    std::string s = Metrics::snakeCase(field);
    const std::string suffix = "_status";
    if (s.size() > suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0)
        s.resize(s.size() - suffix.size());
    return s;
}

}  // namespace

std::string Scrape::text() {
    double started = _now();
    Metrics records;
    Gauge up{"tolm_up", "1 if tolmstatsd answered every query of this scrape, else 0", {}};
    Gauge duration{"tolm_scrape_duration_seconds", "Time this scrape took", {}};
    Gauge stampG{"tolm_snapshot_timestamp_seconds",
                 "When the record's latest snapshot was taken, seconds since the epoch",
                 {}};
    Gauge age{"tolm_snapshot_age_seconds", "Age of the record's latest snapshot", {}};
    Gauge success{"tolm_source_success",
                  "1 if the record's fetch from that node service succeeded, else 0",
                  {}};
    Gauge info{"tolm_record_info", "The record's format version", {}};
    bool answered = true;
    try {
        std::unique_ptr<SnapshotSource> source = _connect();
        for (RecordType type : kRecordTypes) {
            uint32_t stamp = 0;
            std::unique_ptr<HistoryRecord> rec = source->latest(type, &stamp);
            if (!rec)
                continue;
            std::string name = recordTypeName(type);
            RecordValues values;
            rec->visit(values);
            records.add(name, values.values);
            std::string label = "record=\"" + name + "\"";
            stampG.add(label, std::to_string(stamp));
            age.add(label, number(_now() - stamp));
            for (const RecordValue& v : values.values) {
                if (v.kind == FieldKind::Status && v.labels.empty())
                    success.add(label + ",source=\"" + sourceName(v.name) + "\"",
                                v.value.bits == 0 ? "1" : "0");
                if (v.kind == FieldKind::Meta && v.name == "version")
                    info.add(label + ",version=\"" + std::to_string(v.value.bits) + "\"", "1");
            }
        }
    } catch (const SourceError&) {
        answered = false;
    }
    up.add("", answered ? "1" : "0");
    duration.add("", number(_now() - started));
    std::string out = records.text();
    for (const Gauge* g : {&up, &duration, &stampG, &age, &success, &info})
        if (!g->samples.empty())
            out += g->text();
    return out;
}
