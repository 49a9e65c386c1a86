#include "WatchView.h"

#include <cstdio>

namespace {

constexpr size_t kColumn = 14;

std::string cell(const std::string& text, const std::string& field) {
    size_t width = field.size() < kColumn ? kColumn : field.size();
    return " " + std::string(width > text.size() ? width - text.size() : 0, ' ') + text;
}

}  // namespace

std::vector<std::string> WatchView::unknownFields(const std::vector<CounterRate>& rates) const {
    std::vector<std::string> unknown;
    for (const std::string& f : _fields) {
        bool found = false;
        for (const CounterRate& r : rates)
            found = found || r.newer->name == f;
        if (!found)
            unknown.push_back(f);
    }
    return unknown;
}

std::string WatchView::line(const std::vector<CounterRate>& rates, const std::string& when,
                            const std::string& stamp) {
    std::string out;
    if (_lines++ % 20 == 0) {
        out = "time     snapshot       ";
        for (const std::string& f : _fields)
            out += cell(f, f);
        out += "\n";
    }
    out += when + " " + stamp;
    for (const std::string& f : _fields) {
        double sum = 0;
        bool reset = false;
        for (const CounterRate& r : rates)
            if (r.newer->name == f) {
                reset = reset || r.reset;
                sum += r.perSecond;
            }
        char buf[32];
        snprintf(buf, sizeof buf, "%.2f", sum);
        out += cell(reset ? "reset" : buf, f);
    }
    return out + "\n";
}
