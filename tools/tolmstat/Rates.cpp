#include "Rates.h"

#include <cinttypes>
#include <cstdio>
#include <map>

#include "JsonRenderer.h"

namespace {

std::string keyOf(const RecordValue& v) {
    return v.display();
}

int64_t signedValue(FieldNumber n) {
    return static_cast<int64_t>(n.bits);
}

std::string valueText(FieldNumber n) {
    return JsonRenderer::numberText(n);
}

}  // namespace

std::vector<CounterRate> counterRates(const std::vector<RecordValue>& older,
                                      const std::vector<RecordValue>& newer, double seconds) {
    std::map<std::string, const RecordValue*> before;
    for (const RecordValue& v : older)
        if (v.kind == FieldKind::Counter)
            before[keyOf(v)] = &v;
    std::vector<CounterRate> rates;
    for (const RecordValue& v : newer) {
        if (v.kind != FieldKind::Counter)
            continue;
        auto it = before.find(keyOf(v));
        if (it == before.end())
            continue;
        FieldNumber a = it->second->value, b = v.value;
        bool down = a.isSigned ? signedValue(b) < signedValue(a) : b.bits < a.bits;
        CounterRate r{&v, down, 0, signedValue(a), 0.0};
        if (!down) {
            r.delta = b.bits - a.bits;
            r.perSecond = seconds > 0 ? static_cast<double>(r.delta) / seconds : 0.0;
        }
        rates.push_back(r);
    }
    return rates;
}

std::string ratesText(const std::vector<CounterRate>& rates) {
    std::string out;
    char line[512];
    for (const CounterRate& r : rates) {
        std::string name = r.newer->display();
        if (r.reset) {
            FieldNumber older{static_cast<uint64_t>(r.older), r.newer->value.isSigned, 64};
            snprintf(line, sizeof line, "%-56s reset (%s -> %s)\n", name.c_str(),
                     valueText(older).c_str(), valueText(r.newer->value).c_str());
        } else {
            snprintf(line, sizeof line, "%-56s %14" PRIu64 " %14.2f/s\n", name.c_str(), r.delta,
                     r.perSecond);
        }
        out += line;
    }
    return out;
}

std::string ratesJson(const std::vector<CounterRate>& rates, uint32_t from, uint32_t to) {
    char buf[128];
    snprintf(buf, sizeof buf, "{\"from\": %u, \"to\": %u, \"seconds\": %lld, \"rates\": [", from,
             to, static_cast<long long>(to) - static_cast<long long>(from));
    std::string out = buf;
    for (size_t i = 0; i < rates.size(); i++) {
        const CounterRate& r = rates[i];
        out += i ? ",\n  {" : "\n  {";
        out += "\"name\": " + JsonRenderer::quote(r.newer->name) + ", \"labels\": {";
        for (size_t k = 0; k < r.newer->labels.size(); k++)
            out += (k ? ", " : "") + JsonRenderer::quote(r.newer->labels[k].first) + ": " +
                   JsonRenderer::quote(r.newer->labels[k].second);
        out += "}, ";
        if (r.reset) {
            FieldNumber older{static_cast<uint64_t>(r.older), r.newer->value.isSigned, 64};
            out += "\"reset\": true, \"from\": " + valueText(older) +
                   ", \"to\": " + valueText(r.newer->value) + "}";
        } else {
            snprintf(buf, sizeof buf, "\"delta\": %" PRIu64 ", \"per_second\": %.6g}", r.delta,
                     r.perSecond);
            out += buf;
        }
    }
    return out + "]}\n";
}
