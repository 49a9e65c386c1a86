#include "ClusterView.h"

#include <cctype>
#include <cstdio>

#include "JsonRenderer.h"
#include "StampName.h"

namespace {

std::string fixed3(double v) {
    char buf[40];
    snprintf(buf, sizeof buf, "%.3f", v);
    return buf;
}

std::string ageOf(const ClusterRow& r, uint32_t now) {
    return std::to_string(static_cast<int64_t>(now) - static_cast<int64_t>(r.newest));
}

std::string jsonString(const std::string& s) {
    return JsonRenderer::quote(s);
}

}  // namespace

ClusterRow clusterRow(const std::string& node, const std::vector<std::string>& fields,
                      const std::vector<CsvSample>& samples) {
    ClusterRow row;
    row.node = node;
    row.reached = true;
    row.perSecond.assign(fields.size(), 0);
    row.known.assign(fields.size(), false);
    row.reset.assign(fields.size(), false);
    if (samples.empty())
        return row;
    const CsvSample& newer = samples.back();
    row.hasNewest = true;
    row.newest = newer.stamp;
    if (samples.size() < 2)
        return row;
    const CsvSample& older = samples.front();
    row.hasRates = true;
    row.older = older.stamp;
    RateRow rates = fieldRates(fields, {older, newer})[0];
    for (size_t f = 0; f < fields.size(); f++) {
        row.known[f] = rates.present[f] || rates.reset[f];
        row.reset[f] = rates.reset[f];
        row.perSecond[f] = rates.present[f] ? rates.values[f] : 0;
    }
    return row;
}

std::vector<std::string> clusterUnknownFields(const std::vector<std::string>& fields,
                                              const std::vector<ClusterRow>& rows) {
    std::vector<std::string> unknown;
    bool anyRates = false;
    for (const ClusterRow& r : rows)
        anyRates = anyRates || r.hasRates;
    if (!anyRates)
        return unknown;
    for (size_t f = 0; f < fields.size(); f++) {
        bool known = false;
        for (const ClusterRow& r : rows)
            known = known || (r.hasRates && r.known[f]);
        if (!known)
            unknown.push_back(fields[f]);
    }
    return unknown;
}

std::string clusterText(const std::vector<std::string>& fields, const std::vector<ClusterRow>& rows,
                        uint32_t now) {
    std::vector<std::vector<std::string>> cells;
    std::vector<std::string> header = {"node", "newest", "age"};
    header.insert(header.end(), fields.begin(), fields.end());
    cells.push_back(header);
    for (const ClusterRow& r : rows) {
        std::vector<std::string> line = {r.node};
        if (!r.reached) {
            line.push_back("unreachable");
        } else {
            line.push_back(r.hasNewest ? stampName(static_cast<int32_t>(r.newest)) : "-");
            line.push_back(r.hasNewest ? ageOf(r, now) : "-");
            for (size_t f = 0; f < fields.size(); f++)
                line.push_back(!r.hasRates || !r.known[f] ? "-"
                               : r.reset[f]               ? "reset"
                                                          : fixed3(r.perSecond[f]));
        }
        cells.push_back(line);
    }
    std::vector<size_t> width(header.size(), 0);
    for (const auto& line : cells)
        for (size_t c = 0; c < line.size(); c++)
            width[c] = std::max(width[c], line[c].size());
    std::string out;
    for (const auto& line : cells) {
        std::string text;
        for (size_t c = 0; c < line.size(); c++) {
            // Names and stamps to the left, numbers to the right.
            std::string pad(width[c] - line[c].size(), ' ');
            if (c > 0)
                text += "  ";
            text += c < 2 || line.size() == 2 ? line[c] + pad : pad + line[c];
        }
        while (!text.empty() && text.back() == ' ')
            text.pop_back();
        out += text + "\n";
    }
    return out;
}

std::string clusterCsv(const std::vector<std::string>& fields, const std::vector<ClusterRow>& rows,
                       uint32_t now) {
    std::string out = "node,newest,age";
    for (const std::string& f : fields)
        out += "," + f;
    out += "\n";
    for (const ClusterRow& r : rows) {
        out += r.node + ",";
        if (!r.reached)
            out += "unreachable";
        else if (r.hasNewest)
            out += std::to_string(r.newest);
        out += ",";
        if (r.reached && r.hasNewest)
            out += ageOf(r, now);
        for (size_t f = 0; f < fields.size(); f++) {
            out += ",";
            if (r.reached && r.hasRates && r.known[f] && !r.reset[f])
                out += fixed3(r.perSecond[f]);
        }
        out += "\n";
    }
    return out;
}

std::string clusterJson(const std::vector<std::string>& fields, const std::vector<ClusterRow>& rows,
                        uint32_t now) {
    std::string out = "[";
    for (size_t i = 0; i < rows.size(); i++) {
        const ClusterRow& r = rows[i];
        out += i ? ",\n {" : "{";
        out += "\"node\": " + jsonString(r.node) + ", \"state\": ";
        if (!r.reached) {
            out += "\"unreachable\", \"error\": " + jsonString(r.error) + "}";
            continue;
        }
        out += r.hasRates ? "\"ok\"" : "\"too few snapshots\"";
        if (r.hasNewest)
            out += ", \"newest\": " + std::to_string(r.newest) + ", \"age\": " + ageOf(r, now);
        if (r.hasRates) {
            out += ", \"from\": " + std::to_string(r.older) +
                   ", \"seconds\": " + std::to_string(r.newest - r.older) + ", \"rates\": {";
            for (size_t f = 0; f < fields.size(); f++)
                out += (f ? ", " : "") + jsonString(fields[f]) + ": " +
                       (r.known[f] && !r.reset[f] ? fixed3(r.perSecond[f]) : "null");
            out += "}";
        }
        out += "}";
    }
    return out + "]\n";
}

bool naturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isdigit(static_cast<unsigned char>(a[i])) &&
            isdigit(static_cast<unsigned char>(b[j]))) {
            size_t ei = i, ej = j;
            while (ei < a.size() && isdigit(static_cast<unsigned char>(a[ei])))
                ei++;
            while (ej < b.size() && isdigit(static_cast<unsigned char>(b[ej])))
                ej++;
            // Leading zeros aside, the longer run is the larger number.
            size_t zi = i, zj = j;
            while (zi + 1 < ei && a[zi] == '0')
                zi++;
            while (zj + 1 < ej && b[zj] == '0')
                zj++;
            if (ei - zi != ej - zj)
                return ei - zi < ej - zj;
            int c = a.compare(zi, ei - zi, b, zj, ej - zj);
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            i++;
            j++;
        }
    }
    if (a.size() - i != b.size() - j)
        return a.size() - i < b.size() - j;
    return a < b;
}
