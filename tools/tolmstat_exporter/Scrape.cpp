#include "Scrape.h"

#include <cstdio>
#include <functional>
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

namespace {

// What a scrape says of the records: their families, then the exporter's
// gauges about them.
struct Said {
    explicit Said(MetricNames* names) : records(names) {}
    Metrics records;
    Gauge stamp{"tolm_snapshot_timestamp_seconds",
                "When the record's latest snapshot was taken, seconds since the epoch",
                {}};
    Gauge age{"tolm_snapshot_age_seconds", "Age of the record's latest snapshot", {}};
    Gauge success{"tolm_source_success",
                  "1 if the record's fetch from that node service succeeded, else 0",
                  {}};
    Gauge info{"tolm_record_info", "The record's format version", {}};
};

// Adds the latest record of each type as it comes; throws SourceError with
// what came before it kept.
void ask(SnapshotSource& source, const std::function<double()>& now, Said& said) {
    for (RecordType type : kRecordTypes) {
        uint32_t stamp = 0;
        std::unique_ptr<HistoryRecord> rec = source.latest(type, &stamp);
        if (!rec)
            continue;
        std::string name = recordTypeName(type);
        RecordValues values;
        rec->visit(values);
        said.records.add(name, values.values);
        std::string label = "record=\"" + name + "\"";
        said.stamp.add(label, std::to_string(stamp));
        said.age.add(label, number(now() - stamp));
        for (const RecordValue& v : values.values) {
            if (v.kind == FieldKind::Status && v.labels.empty())
                said.success.add(label + ",source=\"" + sourceName(v.name) + "\"",
                                 v.value.bits == 0 ? "1" : "0");
            if (v.kind == FieldKind::Meta && v.name == "version")
                said.info.add(label + ",version=\"" + std::to_string(v.value.bits) + "\"", "1");
        }
    }
}

}  // namespace

std::string Scrape::text() {
    constexpr double kRetryWithin = 0.5;  // seconds
    double started = _now();
    Gauge up{"tolm_up", "1 if tolmstatsd answered every query of this scrape, else 0", {}};
    Gauge duration{"tolm_scrape_duration_seconds", "Time this scrape took", {}};
    auto said = std::make_unique<Said>(&_names);
    bool answered = false;
    for (int attempt = 0; attempt < 2 && !answered; attempt++) {
        bool kept = false;
        auto now = std::make_unique<Said>(&_names);
        try {
            std::unique_ptr<SnapshotSource> source = take(&kept);
            ask(*source, _now, *now);
            answered = true;
            giveBack(std::move(source));
        } catch (const SourceError&) {
        }
        said = std::move(now);
        // Only a kept connection that failed at once (closed while idle) is
        // worth a second try: a new one that failed says the daemon is down,
        // and one that timed out that it is hung.
        if (!kept || _now() - started > kRetryWithin)
            break;
    }
    up.add("", answered ? "1" : "0");
    duration.add("", number(_now() - started));
    std::string out = said->records.text();
    for (const Gauge* g : {&up, &duration, &said->stamp, &said->age, &said->success, &said->info})
        if (!g->samples.empty())
            out += g->text();
    return out;
}

std::unique_ptr<SnapshotSource> Scrape::take(bool* kept) {
    {
        std::lock_guard<std::mutex> held(_lock);
        if (!_idle.empty()) {
            std::unique_ptr<SnapshotSource> s = std::move(_idle.back());
            _idle.pop_back();
            *kept = true;
            return s;
        }
    }
    *kept = false;
    return _connect();
}

void Scrape::giveBack(std::unique_ptr<SnapshotSource> source) {
    constexpr size_t kKept = 4;
    std::lock_guard<std::mutex> held(_lock);
    if (_idle.size() < kKept)
        _idle.push_back(std::move(source));
}
