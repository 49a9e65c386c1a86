#include "Metrics.h"

#include <cctype>
#include <unordered_map>

#include "JsonRenderer.h"

std::string Metrics::snakeCase(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); i++) {
        char c = name[i];
        if (c == '.') {
            out += '_';
            continue;
        }
        bool upper = isupper(static_cast<unsigned char>(c));
        if (upper && i > 0 &&
            (islower(static_cast<unsigned char>(name[i - 1])) ||
             isdigit(static_cast<unsigned char>(name[i - 1]))))
            out += '_';
        out += static_cast<char>(tolower(static_cast<unsigned char>(c)));
    }
    // Leading underscores of field names ("_nfsStatsRpcStatus") and of
    // components after a dot.
    std::string clean;
    for (size_t i = 0; i < out.size(); i++)
        if (!(out[i] == '_' && (clean.empty() || clean.back() == '_')))
            clean += out[i];
    return clean;
}

std::string Metrics::escapeLabel(const std::string& v) {
    std::string out;
    for (char c : v) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
    return out;
}

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

void Metrics::add(const std::string& type, const std::vector<RecordValue>& values) {
    std::string key;
    for (const RecordValue& v : values) {
        // The record's own words (version, mask, times) are no samples of
        // the node; the exporter gives the version and time as its own.
        if (v.kind == FieldKind::Meta)
            continue;
        // The family of each field is worked out once per Metrics.
        key.assign(type).push_back('\0');
        key += v.name;
        auto known = _byField.find(key);
        if (known == _byField.end()) {
            // The first component repeats the type in some records ("lp.vfs...").
            std::string name = v.name;
            if (name.compare(0, type.size() + 1, type + ".") == 0)
                name = name.substr(type.size() + 1);
            std::string family = withoutTypeWords("tolm_" + type + "_" + snakeCase(name));
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
                _families.push_back({family,
                                     type + " record, " + what + " " + v.name,
                                     counter ? "counter" : "gauge",
                                     {}});
                it = _byName.emplace(family, _families.size() - 1).first;
            }
            known = _byField.emplace(key, it->second).first;
        }
        Family& f = _families[known->second];
        std::string sample = f.name;
        if (!v.labels.empty()) {
            sample += "{";
            for (size_t k = 0; k < v.labels.size(); k++) {
                auto label = _labelNames.find(v.labels[k].first);
                if (label == _labelNames.end())
                    label =
                        _labelNames.emplace(v.labels[k].first, snakeCase(v.labels[k].first)).first;
                if (k)
                    sample += ",";
                sample += label->second;
                sample += "=\"";
                sample += escapeLabel(v.labels[k].second);
                sample += "\"";
            }
            sample += "}";
        }
        FieldNumber value = v.value;
        if (v.kind == FieldKind::KibGauge) {
            value.bits *= 1024;  // at most 32 bits of kibibytes: no overflow
            value.width = 64;
        }
        sample += " ";
        sample += JsonRenderer::numberText(value);
        f.samples.push_back(std::move(sample));
    }
}

std::string Metrics::text() const {
    std::string out;
    for (const Family& f : _families) {
        out += "# HELP " + f.name + " " + f.help + "\n";
        out += "# TYPE " + f.name + " " + f.type + "\n";
        for (const std::string& s : f.samples)
            out += s + "\n";
    }
    return out;
}
