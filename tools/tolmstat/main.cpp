// tolmstat: queries a node's snapshot history: a running tolmstatsd or a
// dump tree.

#include <rpc/rpc.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "ClusterQuery.h"
#include "ClusterView.h"
#include "CsvView.h"
#include "DaemonDialer.h"
#include "DaemonSource.h"
#include "DirSource.h"
#include "HistoryRecord.h"
#include "JsonRenderer.h"
#include "LocalRpcClient.h"
#include "Metrics.h"
#include "Rates.h"
#include "RecordValues.h"
#include "SnapshotSource.h"
#include "StampName.h"
#include "SvgPlot.h"
#include "TimeBound.h"
#include "TolmVersion.h"
#include "VolumeSource.h"
#include "WatchView.h"
#include "XmlRenderer.h"

namespace {

const char* kUsage =
    "usage: tolmstat [SOURCE] timestamps\n"
    "       tolmstat [SOURCE] earliest|latest TYPE [--xml | --json | --dump] [--showzero]\n"
    "       tolmstat [SOURCE] at TIMESTAMP TYPE [--xml | --json | --dump] [--showzero]\n"
    "       tolmstat [SOURCE] all TYPE [--from T] [--to T] [--xml | --json | --dump] [--showzero]\n"
    "       tolmstat [SOURCE] rate TYPE [--from T] [--to T] [--json]\n"
    "       tolmstat [SOURCE] csv TYPE FIELD... [--rate] [--from T] [--to T]\n"
    "       tolmstat [SOURCE] plot TYPE FIELD... --svg FILE [--from T] [--to T]\n"
    "       tolmstat [--host H] watch TYPE FIELD... [--interval S] [--count N]\n"
    "       tolmstat [SOURCE] metrics\n"
    "       tolmstat --hosts H1,H2,... cluster TYPE FIELD... [--json | --csv]\n"
    "       tolmstat --archive [--vfs NAME | --dblade HOST:PORT --vfsid ID] cluster TYPE FIELD...\n"
    "                [--from T] [--to T] [--json | --csv]\n"
    "       tolmstat --version\n"
    "SOURCE is --host H (the query service of tolmstatsd on H; the default, on\n"
    "localhost), --archive [--node NAME] [--vfs NAME | --dblade HOST:PORT --vfsid ID]\n"
    "(the host directory /NAME, default this host's name, of the statistics volume,\n"
    "found through the location services or on the D-blade given) or --dir DUMPDIR\n"
    "(the tree the daemon's signal dump writes under DUMPDIR/tolmstats). TYPE is one of nblade, "
    "dblade, lp, fcd, mgmtproc. Records\n"
    "print as XML by default, with zero statistics left out unless --showzero.\n"
    "TIMESTAMP and T are seconds since the epoch or the local-time form that\n"
    "timestamps prints (20261206-235948); T may also be an offset back from the\n"
    "newest snapshot (-90s, -30m, -2h, -1d). rate and watch give the per-second\n"
    "change of counters between two snapshots (the two latest by default; with\n"
    "--from and --to, the first snapshot at or after one and the last at or before\n"
    "the other); a FIELD is a dotted name as rate prints it (cifs.TolmGetAttr),\n"
    "summed over pools, volumes, disks and processes. csv prints one row per\n"
    "snapshot (seconds since the epoch, then the fields' values, or with --rate\n"
    "their per-second rates since the snapshot before; empty where a counter went\n"
    "down). plot draws the fields' per-second rates over the window as an SVG line\n"
    "chart into FILE, with gaps where a snapshot is missing or unreadable. metrics prints the "
    "latest snapshots in the Prometheus text format. cluster prints one row per\n"
    "node: the daemons of --hosts, asked at once (2 s each; \"unreachable\" when one\n"
    "does not answer), or every host directory of the volume: the newest snapshot,\n"
    "its age in seconds and the fields' per-second rates between the node's two\n"
    "newest snapshots (from the volume, or over the window); \"-\" with fewer than two.\n"
    "Exit status: 0; 1 no such snapshot; 2 usage error; 3 the history not reached.\n";

enum class Form { Xml, Json, Dump };

constexpr int kNoSnapshot = 1;
constexpr int kUsageError = 2;
constexpr int kUnreachable = 3;

std::string g_host = "localhost";

[[noreturn]] void usage(FILE* f, int status) {
    fputs(kUsage, f);
    exit(status);
}

// A usage error: one line saying what is wrong, then the usage.
[[noreturn]] void badUsage(const std::string& why) {
    fprintf(stderr, "tolmstat: %s\n", why.c_str());
    usage(stderr, kUsageError);
}

template <typename R>
std::string jsonOf(R& rec, bool showZero) {
    JsonRenderer j(showZero);
    rec.visit(j);
    return j.str();
}

bool print(HistoryRecord& rec, Form form, bool showZero) {
    switch (form) {
        case Form::Xml: {
            XmlRenderer r;
            r.skipZeroAttributes(!showZero);
            rec.toXml(r);
            return true;
        }
        case Form::Json:
            printf("%s\n", jsonOf(rec, showZero).c_str());
            return true;
        case Form::Dump:
            if (!rec.hasDump()) {
                fprintf(stderr, "tolmstat: a D-blade record has no text dump\n");
                return false;
            }
            rec.dump();
            return true;
    }
    return false;
}

int noSnapshot() {
    fprintf(stderr, "tolmstat: no snapshot\n");
    return kNoSnapshot;
}

// The window of --from and --to, resolved against the newest snapshot.
struct Window {
    bool fromGiven = false, toGiven = false;
    TimeBound from, to;

    void resolve(SnapshotSource& source, uint32_t* first, uint32_t* last) const {
        uint32_t newest = 0;
        if (from.relative() || to.relative()) {
            std::vector<uint32_t> ts = source.timestamps();
            newest = ts.empty() ? 0 : ts.back();
        }
        *first = fromGiven ? from.resolve(newest) : 0;
        *last = toGiven ? to.resolve(newest) : 0xFFFFFFFFu;
    }
};

int all(SnapshotSource& source, RecordType type, const Window& w, Form form, bool showZero) {
    uint32_t first, last;
    w.resolve(source, &first, &last);
    std::vector<HistoryEntry> entries = source.window(type, first, last);
    if (entries.empty())
        return noSnapshot();
    if (form == Form::Json) {
        printf("[");
        for (size_t i = 0; i < entries.size(); i++)
            printf("%s{\"timestamp\": %u, \"record\": %s}", i ? ",\n " : "", entries[i].stamp,
                   jsonOf(*entries[i].record, showZero).c_str());
        printf("]\n");
        return 0;
    }
    // One XML document for all of them; a line before each dump.
    if (form == Form::Xml)
        printf("<snapshots>\n");
    for (HistoryEntry& e : entries) {
        int32_t t = static_cast<int32_t>(e.stamp);
        if (form == Form::Xml)
            printf("<snapshot timestamp=\"%u\" stamp=\"%s\">\n", e.stamp, stampName(t).c_str());
        else if (form == Form::Dump)
            printf("== %u %s\n", e.stamp, stampName(t).c_str());
        fflush(stdout);
        if (!print(*e.record, form, showZero))
            return kUsageError;
        fflush(stdout);
        if (form == Form::Xml)
            printf("</snapshot>\n");
    }
    if (form == Form::Xml)
        printf("</snapshots>\n");
    return 0;
}

std::vector<RecordValue> valuesOf(const HistoryRecord& rec) {
    RecordValues v;
    rec.visit(v);
    return std::move(v.values);
}

// Only the values named `fields`.
std::vector<RecordValue> valuesOf(const HistoryRecord& rec,
                                  const std::vector<std::string>& fields) {
    RecordValues v(fields);
    rec.visit(v);
    return std::move(v.values);
}

struct Sample {
    uint32_t stamp = 0;
    std::vector<RecordValue> values;
};

// The two snapshots a rate is taken between: the last at or before `last`
// and, before it, the first at or after `first` (the one just before when
// --from is not given).
int ratePair(SnapshotSource& source, RecordType type, const Window& w, Sample& older,
             Sample& newer) {
    const char* name = recordTypeName(type);
    uint32_t first, last;
    w.resolve(source, &first, &last);
    std::vector<uint32_t> ts = source.timestamps();
    size_t at = ts.size();
    std::unique_ptr<HistoryRecord> rec;
    while (at-- > 0)
        if (ts[at] <= last && (rec = source.recordAt(type, ts[at])))
            break;
    if (!rec) {
        fprintf(stderr, "tolmstat: no %s snapshot%s\n", name,
                w.toGiven ? (" at or before " + std::to_string(last)).c_str() : "");
        return kNoSnapshot;
    }
    newer = Sample{ts[at], valuesOf(*rec)};
    rec.reset();
    if (w.fromGiven) {
        for (size_t i = 0; i < at && !rec; i++)
            if (ts[i] >= first && (rec = source.recordAt(type, ts[i])))
                older.stamp = ts[i];
    } else {
        for (size_t i = at; i-- > 0 && !rec;)
            if ((rec = source.recordAt(type, ts[i])))
                older.stamp = ts[i];
    }
    if (!rec) {
        if (w.fromGiven)
            fprintf(stderr, "tolmstat: no %s snapshot from %u to before %u\n", name, first,
                    newer.stamp);
        else
            fprintf(stderr, "tolmstat: no %s snapshot before %u: a rate needs two\n", name,
                    newer.stamp);
        return kNoSnapshot;
    }
    older.values = valuesOf(*rec);
    return 0;
}

int rate(SnapshotSource& source, RecordType type, const Window& w, bool json) {
    Sample older, newer;
    if (int rc = ratePair(source, type, w, older, newer))
        return rc;
    double seconds = static_cast<double>(newer.stamp) - static_cast<double>(older.stamp);
    std::vector<CounterRate> rates = counterRates(older.values, newer.values, seconds);
    if (json) {
        fputs(ratesJson(rates, older.stamp, newer.stamp).c_str(), stdout);
        return 0;
    }
    printf("%s: %u %s -> %u %s, %.0f s\n", recordTypeName(type), older.stamp,
           stampName(static_cast<int32_t>(older.stamp)).c_str(), newer.stamp,
           stampName(static_cast<int32_t>(newer.stamp)).c_str(), seconds);
    fputs(ratesText(rates).c_str(), stdout);
    return 0;
}

int csv(SnapshotSource& source, RecordType type, const std::vector<std::string>& fields,
        const Window& w, bool rates) {
    uint32_t first, last;
    w.resolve(source, &first, &last);
    std::vector<CsvSample> samples;
    for (HistoryEntry& e : source.window(type, first, last))
        samples.push_back(CsvSample{e.stamp, valuesOf(*e.record, fields), e.afterGap});
    if (samples.empty())
        return noSnapshot();
    std::vector<std::string> unknown = csvUnknownFields(fields, samples, rates);
    if (!unknown.empty()) {
        fprintf(stderr, "tolmstat: no %s %s in the %s record\n", rates ? "counter" : "value",
                unknown[0].c_str(), recordTypeName(type));
        return kUsageError;
    }
    fputs(csvTable(fields, samples, rates).c_str(), stdout);
    return 0;
}

int plot(SnapshotSource& source, RecordType type, const std::vector<std::string>& fields,
         const Window& w, const std::string& svg) {
    uint32_t first, last;
    w.resolve(source, &first, &last);
    std::vector<CsvSample> samples;
    for (HistoryEntry& e : source.window(type, first, last))
        samples.push_back(CsvSample{e.stamp, valuesOf(*e.record, fields), e.afterGap});
    if (samples.size() < 2) {
        fprintf(stderr, "tolmstat: a plot of rates needs two %s snapshots in the window\n",
                recordTypeName(type));
        return kNoSnapshot;
    }
    std::vector<std::string> unknown = csvUnknownFields(fields, samples, true);
    if (!unknown.empty()) {
        fprintf(stderr, "tolmstat: no counter %s in the %s record\n", unknown[0].c_str(),
                recordTypeName(type));
        return kUsageError;
    }
    std::string title = source.where() + ": " + recordTypeName(type) + ", " +
                        stampName(static_cast<int32_t>(samples.front().stamp)) + " to " +
                        stampName(static_cast<int32_t>(samples.back().stamp));
    std::string text = svgPlot(title, fields, fieldRates(fields, samples));
    FILE* out = fopen(svg.c_str(), "w");
    if (!out || fwrite(text.data(), 1, text.size(), out) != text.size() || fclose(out) != 0) {
        fprintf(stderr, "tolmstat: cannot write %s: %s\n", svg.c_str(), strerror(errno));
        return kUsageError;
    }
    return 0;
}

volatile sig_atomic_t g_stop = 0;

int watch(SnapshotSource& source, RecordType type, const std::vector<std::string>& fields,
          unsigned int interval, long count) {
    signal(SIGINT, [](int) { g_stop = 1; });
    signal(SIGTERM, [](int) { g_stop = 1; });
    WatchView view(fields);
    for (long line = 0; (count < 0 || line < count) && !g_stop; line++) {
        if (line > 0) {
            for (unsigned int s = 0; s < interval * 10 && !g_stop; s++)
                usleep(100000);
            if (g_stop)
                break;
        }
        Sample older, newer;
        if (int rc = ratePair(source, type, Window(), older, newer))
            return rc;
        double seconds = static_cast<double>(newer.stamp) - static_cast<double>(older.stamp);
        std::vector<CounterRate> rates = counterRates(older.values, newer.values, seconds);
        std::vector<std::string> unknown = view.unknownFields(rates);
        if (!unknown.empty()) {
            fprintf(stderr, "tolmstat: no counter %s in the %s record\n", unknown[0].c_str(),
                    recordTypeName(type));
            return kUsageError;
        }
        time_t now = time(nullptr);
        struct tm tm;
        localtime_r(&now, &tm);
        char when[16];
        strftime(when, sizeof when, "%H:%M:%S", &tm);
        fputs(view.line(rates, when, stampName(static_cast<int32_t>(newer.stamp))).c_str(), stdout);
        fflush(stdout);
    }
    return 0;
}

int metrics(SnapshotSource& source) {
    Metrics m;
    for (RecordType type : kRecordTypes) {
        uint32_t stamp;
        if (std::unique_ptr<HistoryRecord> rec = source.latest(type, &stamp))
            m.add(recordTypeName(type), valuesOf(*rec));
    }
    fputs(m.text().c_str(), stdout);
    return 0;
}

enum class ClusterForm { Text, Csv, Json };

// The table of tolmstat cluster: the rows, checked for fields no node knows.
int printCluster(const std::vector<ClusterRow>& rows, RecordType type,
                 const std::vector<std::string>& fields, ClusterForm form) {
    std::vector<std::string> unknown = clusterUnknownFields(fields, rows);
    if (!unknown.empty()) {
        fprintf(stderr, "tolmstat: no counter %s in the %s record\n", unknown[0].c_str(),
                recordTypeName(type));
        return kUsageError;
    }
    uint32_t now = static_cast<uint32_t>(time(nullptr));
    fputs((form == ClusterForm::Csv    ? clusterCsv(fields, rows, now)
           : form == ClusterForm::Json ? clusterJson(fields, rows, now)
                                       : clusterText(fields, rows, now))
              .c_str(),
          stdout);
    fflush(stdout);
    return 0;
}

// Every node's daemon at once, two seconds in all: a poll loop for each
// processor, each with four nodes at least (fewer would not pay for the
// thread), since most of each exchange's cost is the kernel's network work.
int clusterLive(const std::vector<std::string>& hosts, RecordType type,
                const std::vector<std::string>& fields, ClusterForm form) {
    DaemonDialer dialer;
    unsigned processors = std::max(1u, std::thread::hardware_concurrency());
    unsigned lanes = std::min<unsigned>(processors, static_cast<unsigned>((hosts.size() + 3) / 4));
    std::vector<ClusterRow> rows =
        askNodes(hosts, type, fields, dialer, std::chrono::milliseconds(2000), lanes);
    for (const ClusterRow& r : rows)
        if (!r.reached)
            fprintf(stderr, "tolmstat: %s: %s\n", r.node.c_str(), r.error.c_str());
    return printCluster(rows, type, fields, form);
}

// Every host directory of the volume, one after the other, in natural order.
int clusterArchive(VolumeSource& volume, RecordType type, const std::vector<std::string>& fields,
                   const Window& w, ClusterForm form) {
    std::vector<std::string> names = volume.hostDirectories();
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& n) { return n == "." || n == ".."; }),
                names.end());
    std::sort(names.begin(), names.end(), naturalLess);
    std::vector<ClusterRow> rows;
    for (const std::string& node : names) {
        try {
            volume.setNode(node);
            if (w.fromGiven || w.toGiven) {
                uint32_t first, last;
                w.resolve(volume, &first, &last);
                rows.push_back(clusterRowOf(volume, node, type, fields, &first, &last));
            } else {
                rows.push_back(clusterRowOf(volume, node, type, fields));
            }
        } catch (SourceError& e) {
            fprintf(stderr, "%s\n", e.what());
            ClusterRow row;
            row.node = node;
            row.error = e.what();
            rows.push_back(row);
        }
    }
    return printCluster(rows, type, fields, form);
}

bool parseCount(const std::string& text, long* out) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = atol(text.c_str());
    return *out > 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "tolmstat"))
        return 0;
    Form form = Form::Xml;
    int forms = 0;
    bool showZero = false, rates = false;
    Window window;
    long interval = -1, count = -1;
    std::string dumpDir, svg;
    bool hostGiven = false, archive = false, volumeOption = false;
    VolumeSource::Where volume;
    bool vfsIdGiven = false;
    std::vector<std::string> words, hosts;
    bool csvGiven = false;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help")
            usage(stdout, 0);
        auto operand = [&](const char* what) -> std::string {
            if (i + 1 >= argc)
                badUsage(a + " needs " + what);
            return argv[++i];
        };
        if (a == "--host") {
            g_host = operand("a host name");
            hostGiven = true;
        } else if (a == "--hosts") {
            std::string list = operand("a list of host names");
            size_t start = 0;
            for (;;) {
                size_t comma = list.find(',', start);
                std::string h = list.substr(start, comma - start);
                if (h.empty())
                    badUsage("an empty host name in --hosts " + list);
                hosts.push_back(h);
                if (comma == std::string::npos)
                    break;
                start = comma + 1;
            }
        } else if (a == "--csv") {
            csvGiven = true;
        } else if (a == "--dir") {
            dumpDir = operand("a dump directory");
        } else if (a == "--svg") {
            svg = operand("a file name");
        } else if (a == "--archive") {
            archive = true;
        } else if (a == "--node") {
            volume.node = operand("a host directory name");
            volumeOption = true;
        } else if (a == "--vfs") {
            volume.vfsName = operand("a VFS name");
            volumeOption = true;
        } else if (a == "--dblade") {
            volume.dblade = operand("HOST:PORT");
            volumeOption = true;
        } else if (a == "--vfsid") {
            std::string n = operand("a VFS id");
            long id = 0;
            if (!parseCount(n, &id))
                badUsage("--vfsid needs a positive number, not " + n);
            volume.vfsId = static_cast<uint32_t>(id);
            vfsIdGiven = volumeOption = true;
        } else if (a == "--xml" || a == "--json" || a == "--dump") {
            form = a == "--xml" ? Form::Xml : a == "--json" ? Form::Json : Form::Dump;
            forms++;
        } else if (a == "--showzero") {
            showZero = true;
        } else if (a == "--rate") {
            rates = true;
        } else if (a == "--from" || a == "--to") {
            std::string t = operand("a time");
            if (!TimeBound::parse(t, a == "--from" ? &window.from : &window.to))
                badUsage("not a time (seconds, 20261206-235948 or -2h): " + t);
            (a == "--from" ? window.fromGiven : window.toGiven) = true;
        } else if (a == "--interval" || a == "--count") {
            std::string n = operand("a positive number");
            if (!parseCount(n, a == "--interval" ? &interval : &count))
                badUsage(a + " needs a positive number, not " + n);
        } else if (a.rfind("--", 0) == 0) {
            badUsage("unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    if (words.empty())
        badUsage("what to ask is missing");
    if (forms > 1)
        badUsage("choose one of --xml, --json and --dump");
    if (hostGiven + !dumpDir.empty() + archive + !hosts.empty() > 1)
        badUsage("choose one of --host, --hosts, --archive and --dir");
    if (words[0] == "cluster") {
        if (words.size() < 3)
            badUsage("cluster needs TYPE and FIELD...");
        if (hosts.empty() && !archive)
            badUsage("cluster asks the daemons of --hosts or the host directories of --archive");
        if (showZero || (forms > 0 && (csvGiven || form != Form::Json)))
            badUsage("cluster takes one of --json and --csv as a form");
        if (!volume.node.empty())
            badUsage("cluster reads every host directory: it takes no --node");
        if (!hosts.empty() && (window.fromGiven || window.toGiven))
            badUsage("cluster over --hosts takes no --from or --to");
    } else if (!hosts.empty()) {
        badUsage("--hosts belongs to cluster");
    } else if (csvGiven) {
        badUsage("--csv belongs to cluster");
    }
    ClusterForm clusterForm = csvGiven    ? ClusterForm::Csv
                              : forms > 0 ? ClusterForm::Json
                                          : ClusterForm::Text;
    if (volumeOption && !archive)
        badUsage("--node, --vfs, --dblade and --vfsid belong to --archive");
    if (!volume.dblade.empty() != vfsIdGiven)
        badUsage("--dblade and --vfsid go together");
    if (archive && volume.node.empty() && words[0] != "cluster") {
        char name[256] = "";
        gethostname(name, sizeof name - 1);
        volume.node = name;
    }
    const std::string& what = words[0];
    uint32_t stamp = 0;
    std::string typeName;
    std::vector<std::string> fields;
    if ((window.fromGiven || window.toGiven) && what != "rate" && what != "all" && what != "csv" &&
        what != "plot" && what != "cluster")
        badUsage("--from and --to belong to rate, all, csv, plot and cluster");
    if (!svg.empty() != (what == "plot"))
        badUsage(what == "plot" ? "plot needs --svg FILE" : "--svg belongs to plot");
    if ((interval > 0 || count > 0) && what != "watch")
        badUsage("--interval and --count belong to watch");
    if (rates && what != "csv")
        badUsage("--rate belongs to csv");
    if (what == "timestamps" && words.size() == 1) {
        if (forms > 0 || showZero)
            badUsage("timestamps takes no --xml, --json, --dump or --showzero");
    } else if (what == "metrics" && words.size() == 1) {
        if (forms > 0 || showZero)
            badUsage("metrics takes no --xml, --json, --dump or --showzero");
    } else if ((what == "earliest" || what == "latest" || what == "all") && words.size() == 2) {
        typeName = words[1];
    } else if (what == "at" && words.size() == 3) {
        TimeBound at;
        if (!TimeBound::parse(words[1], &at) || at.relative())
            badUsage("not a timestamp of 32 bits: " + words[1]);
        stamp = at.resolve(0);
        typeName = words[2];
    } else if (what == "rate" && words.size() == 2) {
        typeName = words[1];
        if (showZero || (forms > 0 && form != Form::Json))
            badUsage("rate takes only --json as a form");
    } else if (what == "cluster") {
        typeName = words[1];
        fields.assign(words.begin() + 2, words.end());
    } else if ((what == "watch" || what == "csv" || what == "plot") && words.size() >= 3) {
        typeName = words[1];
        fields.assign(words.begin() + 2, words.end());
        if (forms > 0 || showZero)
            badUsage(what + " takes no --xml, --json, --dump or --showzero");
        if (what == "watch" && (!dumpDir.empty() || archive))
            badUsage("watch follows a running daemon: it takes no --dir or --archive");
    } else {
        badUsage("unknown request or wrong number of words");
    }
    RecordType type = RecordType::Nblade;
    if (!typeName.empty() && !recordTypeOf(typeName, &type))
        badUsage("unknown record type " + typeName);
    if (window.fromGiven && window.toGiven && !window.from.relative() && !window.to.relative() &&
        window.from.resolve(0) >= window.to.resolve(0))
        badUsage("--from must be earlier than --to");

    try {
        if (what == "cluster" && !hosts.empty())
            return clusterLive(hosts, type, fields, clusterForm);
        std::unique_ptr<SnapshotSource> source;
        if (!dumpDir.empty())
            source = std::make_unique<DirSource>(dumpDir);
        else if (archive)
            source = std::make_unique<VolumeSource>(volume);
        else
            source = std::make_unique<DaemonSource>(g_host);
        if (what == "timestamps") {
            for (uint32_t t : source->timestamps())
                printf("%u %s\n", t, stampName(static_cast<int32_t>(t)).c_str());
            return 0;
        }
        if (what == "metrics")
            return metrics(*source);
        if (what == "cluster")
            return clusterArchive(static_cast<VolumeSource&>(*source), type, fields, window,
                                  clusterForm);
        if (what == "rate")
            return rate(*source, type, window, form == Form::Json && forms > 0);
        if (what == "csv")
            return csv(*source, type, fields, window, rates);
        if (what == "plot")
            return plot(*source, type, fields, window, svg);
        if (what == "watch")
            return watch(*source, type, fields,
                         interval > 0 ? static_cast<unsigned int>(interval) : 5, count);
        if (what == "all")
            return all(*source, type, window, form, showZero);
        std::unique_ptr<HistoryRecord> rec;
        if (what == "earliest")
            rec = source->earliest(type, &stamp);
        else if (what == "latest")
            rec = source->latest(type, &stamp);
        else
            rec = source->recordAt(type, stamp);
        if (!rec)
            return noSnapshot();
        return print(*rec, form, showZero) ? 0 : kUsageError;
    } catch (SourceError& e) {
        fprintf(stderr, "%s\n", e.what());
        return kUnreachable;
    }
}
