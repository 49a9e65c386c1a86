#include "CsvView.h"

#include <cinttypes>
#include <cstdio>

#include "Rates.h"

namespace {

// The sum of the values named `field`, as its fields read; false when none.
bool sumOf(const std::vector<RecordValue>& values, const std::string& field, std::string* out) {
    bool found = false, isSigned = false;
    uint64_t sum = 0;
    for (const RecordValue& v : values)
        if (v.name == field) {
            found = true;
            isSigned = v.value.isSigned;
            sum += v.value.bits;  // two's complement: signed sums come out right
        }
    if (!found)
        return false;
    char buf[32];
    if (isSigned)
        snprintf(buf, sizeof buf, "%" PRId64, static_cast<int64_t>(sum));
    else
        snprintf(buf, sizeof buf, "%" PRIu64, sum);
    *out = buf;
    return true;
}

}  // namespace

std::vector<RateRow> fieldRates(const std::vector<std::string>& fields,
                                const std::vector<CsvSample>& samples) {
    std::vector<RateRow> rows;
    for (size_t i = 1; i < samples.size(); i++) {
        std::vector<CounterRate> changes =
            counterRates(samples[i - 1].values, samples[i].values,
                         static_cast<double>(samples[i].stamp) - samples[i - 1].stamp);
        RateRow row{samples[i].stamp, {}, {}, samples[i].afterGap, {}};
        for (const std::string& f : fields) {
            bool found = false, reset = false;
            double sum = 0;
            for (const CounterRate& r : changes)
                if (r.newer->name == f) {
                    found = true;
                    reset = reset || r.reset;
                    sum += r.perSecond;
                }
            row.values.push_back(sum);
            row.present.push_back(found && !reset);
            row.reset.push_back(reset);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string csvTable(const std::vector<std::string>& fields, const std::vector<CsvSample>& samples,
                     bool rates) {
    std::string out = "timestamp";
    for (const std::string& f : fields)
        out += "," + f;
    out += "\n";
    if (rates) {
        for (const RateRow& row : fieldRates(fields, samples)) {
            out += std::to_string(row.stamp);
            for (size_t f = 0; f < fields.size(); f++) {
                out += ",";
                if (row.present[f]) {
                    char buf[40];
                    snprintf(buf, sizeof buf, "%.3f", row.values[f]);
                    out += buf;
                }
            }
            out += "\n";
        }
        return out;
    }
    for (const CsvSample& s : samples) {
        out += std::to_string(s.stamp);
        for (const std::string& f : fields) {
            out += ",";
            std::string cell;
            if (sumOf(s.values, f, &cell))
                out += cell;
        }
        out += "\n";
    }
    return out;
}

std::vector<std::string> csvUnknownFields(const std::vector<std::string>& fields,
                                          const std::vector<CsvSample>& samples, bool counters) {
    std::vector<std::string> unknown;
    for (const std::string& f : fields) {
        bool found = false;
        for (const CsvSample& s : samples)
            for (const RecordValue& v : s.values)
                found = found || (v.name == f && (!counters || v.kind == FieldKind::Counter));
        if (!found)
            unknown.push_back(f);
    }
    return unknown;
}
