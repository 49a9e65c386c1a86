#include "SvgPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>

namespace {

constexpr double kWidth = 960, kHeight = 480;
constexpr double kLeft = 80, kRight = 220, kTop = 40, kBottom = 60;
const char* const kColours[] = {"#1f77b4", "#d62728", "#2ca02c", "#ff7f0e",
                                "#9467bd", "#8c564b", "#e377c2", "#17becf"};

std::string escape(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string number(double v) {
    char buf[32];
    snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

// A value axis label: short, with an SI suffix past a thousand.
std::string label(double v) {
    const char* suffix[] = {"", "k", "M", "G", "T"};
    int i = 0;
    while (std::fabs(v) >= 1000 && i < 4) {
        v /= 1000;
        i++;
    }
    char buf[32];
    snprintf(buf, sizeof buf, v == std::floor(v) ? "%.0f%s" : "%.3g%s", v, suffix[i]);
    return buf;
}

std::string localTime(uint32_t stamp, const char* format) {
    time_t t = stamp;
    struct tm tm;
    localtime_r(&t, &tm);
    char buf[32];
    strftime(buf, sizeof buf, format, &tm);
    return buf;
}

// A step of 1, 2 or 5 times a power of ten that splits `span` into about
// `parts` pieces.
double niceStep(double span, int parts) {
    double raw = span / parts;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

}  // namespace

std::string svgPlot(const std::string& title, const std::vector<std::string>& series,
                    const std::vector<RateRow>& rows) {
    double plotW = kWidth - kLeft - kRight, plotH = kHeight - kTop - kBottom;
    uint32_t t0 = rows.empty() ? 0 : rows.front().stamp;
    uint32_t t1 = rows.empty() ? 1 : std::max(rows.back().stamp, t0 + 1);
    double top = 0;
    for (const RateRow& r : rows)
        for (size_t s = 0; s < series.size(); s++)
            if (r.present[s])
                top = std::max(top, r.values[s]);
    double step = niceStep(top > 0 ? top : 1, 5);
    top = std::ceil((top > 0 ? top : 1) / step) * step;
    auto x = [&](uint32_t t) { return kLeft + plotW * (t - t0) / double(t1 - t0); };
    auto y = [&](double v) { return kTop + plotH * (1 - v / top); };

    // The usual step between rows: the median gap.
    std::vector<uint32_t> gaps;
    for (size_t i = 1; i < rows.size(); i++)
        gaps.push_back(rows[i].stamp - rows[i - 1].stamp);
    std::sort(gaps.begin(), gaps.end());
    uint32_t usual = gaps.empty() ? 0 : gaps[gaps.size() / 2];

    std::string out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" +
        number(kWidth) + "\" height=\"" + number(kHeight) + "\" viewBox=\"0 0 " + number(kWidth) +
        " " + number(kHeight) +
        "\" font-family=\"sans-serif\" font-size=\"12\">\n"
        "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n"
        "<text class=\"title\" x=\"" +
        number(kWidth / 2) + "\" y=\"24\" text-anchor=\"middle\" font-size=\"15\">" +
        escape(title) + "</text>\n";
    // Value axis: grid lines and labels.
    for (double v = 0; v <= top + step / 2; v += step) {
        out += "<line x1=\"" + number(kLeft) + "\" y1=\"" + number(y(v)) + "\" x2=\"" +
               number(kLeft + plotW) + "\" y2=\"" + number(y(v)) +
               "\" stroke=\"#ddd\"/>\n<text x=\"" + number(kLeft - 6) + "\" y=\"" +
               number(y(v) + 4) + "\" text-anchor=\"end\">" + label(v) + "</text>\n";
    }
    out += "<text x=\"16\" y=\"" + number(kTop + plotH / 2) + "\" transform=\"rotate(-90 16 " +
           number(kTop + plotH / 2) + ")\" text-anchor=\"middle\">per second</text>\n";
    // Time axis: about six ticks, local time.
    double tstep = niceStep(double(t1 - t0), 6);
    bool days = t1 - t0 > 86400;
    for (double t = std::ceil(t0 / tstep) * tstep; t <= t1; t += tstep) {
        uint32_t at = static_cast<uint32_t>(t);
        out += "<line x1=\"" + number(x(at)) + "\" y1=\"" + number(kTop + plotH) + "\" x2=\"" +
               number(x(at)) + "\" y2=\"" + number(kTop + plotH + 5) +
               "\" stroke=\"black\"/>\n<text x=\"" + number(x(at)) + "\" y=\"" +
               number(kTop + plotH + 20) + "\" text-anchor=\"middle\">" +
               localTime(at, days ? "%m-%d %H:%M" : "%H:%M:%S") + "</text>\n";
    }
    out += "<text x=\"" + number(kLeft + plotW / 2) + "\" y=\"" + number(kHeight - 14) +
           "\" text-anchor=\"middle\">local time, " +
           (rows.empty() ? std::string("no snapshots")
                         : localTime(t0, "%Y-%m-%d %H:%M:%S") + " to " +
                               localTime(t1, "%Y-%m-%d %H:%M:%S")) +
           "</text>\n";
    out += "<rect x=\"" + number(kLeft) + "\" y=\"" + number(kTop) + "\" width=\"" + number(plotW) +
           "\" height=\"" + number(plotH) + "\" fill=\"none\" stroke=\"black\"/>\n";
    // One path per series, broken at the gaps.
    for (size_t s = 0; s < series.size(); s++) {
        std::string d;
        bool drawing = false;
        for (size_t i = 0; i < rows.size(); i++) {
            if (!rows[i].present[s]) {
                drawing = false;
                continue;
            }
            bool gap = rows[i].afterGap ||
                       (i > 0 && usual > 0 && 2 * (rows[i].stamp - rows[i - 1].stamp) > 3 * usual);
            d += (drawing && !gap ? " L" : (d.empty() ? "M" : " M")) + number(x(rows[i].stamp)) +
                 " " + number(y(rows[i].values[s]));
            drawing = true;
        }
        const char* colour = kColours[s % (sizeof kColours / sizeof *kColours)];
        out += "<path class=\"series\" data-field=\"" + escape(series[s]) + "\" d=\"" + d +
               "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1.5\"/>\n";
        double ly = kTop + 10 + 20 * s;
        out += "<line x1=\"" + number(kWidth - kRight + 16) + "\" y1=\"" + number(ly) + "\" x2=\"" +
               number(kWidth - kRight + 40) + "\" y2=\"" + number(ly) + "\" stroke=\"" + colour +
               "\" stroke-width=\"3\"/>\n<text class=\"legend\" x=\"" +
               number(kWidth - kRight + 46) + "\" y=\"" + number(ly + 4) + "\">" +
               escape(series[s]) + "</text>\n";
    }
    return out + "</svg>\n";
}
