#include "Metrics.h"

#include <cctype>

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

void Metrics::appendEscaped(std::string& out, const std::string& v) {
    for (char c : v) {
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n') {
            out += "\\n";
            continue;
        }
        out += c;
    }
}

std::string Metrics::escapeLabel(const std::string& v) {
    std::string out;
    appendEscaped(out, v);
    return out;
}

void Metrics::add(const std::string& type, const std::vector<RecordValue>& values) {
    for (const RecordValue& v : values) {
        // The record's own words (version, mask, times) are no samples of
        // the node; the exporter gives the version and time as its own.
        if (v.kind == FieldKind::Meta)
            continue;
        const MetricNames::Family& family = _names->family(type, v);
        auto at = _index.find(&family);
        if (at == _index.end()) {
            _families.push_back(Out{&family, {}});
            at = _index.emplace(&family, _families.size() - 1).first;
        }
        std::string& out = _families[at->second].samples;
        out += family.name;
        if (!v.labels.empty()) {
            out += '{';
            for (size_t k = 0; k < v.labels.size(); k++) {
                if (k)
                    out += ',';
                out += _names->label(v.labels[k].first);
                out += "=\"";
                appendEscaped(out, v.labels[k].second);
                out += '"';
            }
            out += '}';
        }
        FieldNumber value = v.value;
        if (v.kind == FieldKind::KibGauge) {
            value.bits *= 1024;  // at most 32 bits of kibibytes: no overflow
            value.width = 64;
        }
        out += ' ';
        out += JsonRenderer::numberText(value);
        out += '\n';
    }
}

std::string Metrics::text() const {
    size_t size = 0;
    for (const Out& f : _families)
        size += 2 * f.family->name.size() + f.family->help.size() + f.samples.size() + 32;
    std::string out;
    out.reserve(size);
    for (const Out& f : _families) {
        out += "# HELP ";
        out += f.family->name;
        out += ' ';
        out += f.family->help;
        out += "\n# TYPE ";
        out += f.family->name;
        out += ' ';
        out += f.family->type;
        out += '\n';
        out += f.samples;
    }
    return out;
}
