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

std::string csvTable(const std::vector<std::string>& fields, const std::vector<CsvSample>& samples,
                     bool rates) {
    std::string out = "timestamp";
    for (const std::string& f : fields)
        out += "," + f;
    out += "\n";
    for (size_t i = rates ? 1 : 0; i < samples.size(); i++) {
        out += std::to_string(samples[i].stamp);
        std::vector<CounterRate> changes;
        if (rates)
            changes = counterRates(samples[i - 1].values, samples[i].values,
                                   static_cast<double>(samples[i].stamp) - samples[i - 1].stamp);
        for (const std::string& f : fields) {
            out += ",";
            if (!rates) {
                std::string cell;
                if (sumOf(samples[i].values, f, &cell))
                    out += cell;
                continue;
            }
            bool found = false, reset = false;
            double sum = 0;
            for (const CounterRate& r : changes)
                if (r.newer->name == f) {
                    found = true;
                    reset = reset || r.reset;
                    sum += r.perSecond;
                }
            if (found && !reset) {
                char buf[40];
                snprintf(buf, sizeof buf, "%.3f", sum);
                out += buf;
            }
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
