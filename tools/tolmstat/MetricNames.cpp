#include "MetricNames.h"

#include "Metrics.h"

namespace {

// A metric name must not name a metric type: such words of a field's name
// ("getAttrCounter", "bcp.histogram") are shortened.
std::string withoutTypeWords(const std::string& name) {
    static const char* const kWords[][2] = {
        {"counter", "count"}, {"gauge", "level"}, {"histogram", "hist"}, {"summary", "summ"}};
    std::string out;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find('_', start);
        if (end == std::string::npos)
            end = name.size();
        std::string word = name.substr(start, end - start);
        for (const auto& w : kWords)
            if (word == w[0])
                word = w[1];
        out += (start ? "_" : "") + word;
        start = end + 1;
    }
    return out;
}

}  // namespace

const MetricNames::Family& MetricNames::family(const std::string& type, const RecordValue& v) {
    std::lock_guard<std::mutex> held(_lock);
    _key.assign(type).push_back('\0');
    _key += v.name;
    auto known = _byField.find(_key);
    if (known != _byField.end())
        return *known->second;
    // The first component repeats the type in some records ("lp.vfs...").
    std::string name = v.name;
    if (name.compare(0, type.size() + 1, type + ".") == 0)
        name = name.substr(type.size() + 1);
    std::string family = withoutTypeWords("tolm_" + type + "_" + Metrics::snakeCase(name));
    bool counter = v.kind == FieldKind::Counter;
    bool kib = v.kind == FieldKind::KibGauge;
    if (counter)
        family += "_total";
    if (kib)
        family += "_bytes";
    auto it = _byName.find(family);
    if (it == _byName.end()) {
        const char* what = counter                      ? "counter"
                           : v.kind == FieldKind::Gauge ? "level"
                           : kib                        ? "level in bytes (kB x 1024)"
                                                        : "fetch status (0 is success)";
        it = _byName
                 .emplace(family, Family{family, type + " record, " + what + " " + v.name,
                                         counter ? "counter" : "gauge"})
                 .first;
    }
    return *_byField.emplace(_key, &it->second).first->second;
}

const std::string& MetricNames::label(const std::string& name) {
    std::lock_guard<std::mutex> held(_lock);
    auto it = _labels.find(name);
    if (it == _labels.end())
        it = _labels.emplace(name, Metrics::snakeCase(name)).first;
    return it->second;
}
