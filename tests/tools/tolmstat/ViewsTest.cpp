// tolmstat's views of records: flattened values with their labels, counter
// rates (a counter that went down is a reset, whatever its width or sign), the
// watch lines, and the Prometheus text, which promtool must accept.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "CsvView.h"
#include "Metrics.h"
#include "Rates.h"
#include "RecordTestUtil.h"
#include "RecordValues.h"
#include "SvgPlot.h"
#include "WatchView.h"

namespace {

template <typename R>
std::vector<RecordValue> valuesOf(const R& r) {
    RecordValues v;
    r.visit(v);
    return v.values;
}

const RecordValue* find(const std::vector<RecordValue>& vs, const std::string& display) {
    for (const RecordValue& v : vs)
        if (v.display() == display)
            return &v;
    return nullptr;
}

const CounterRate* findRate(const std::vector<CounterRate>& rs, const std::string& display) {
    for (const CounterRate& r : rs)
        if (r.newer->display() == display)
            return &r;
    return nullptr;
}

// Two FCD records: disks 7 and 9, then 9 and 8 (7 gone, 8 new).
void fcdPair(FcdStats& a, FcdStats& b) {
    for (FcdStats* r : {&a, &b}) {
        memset(&r->data, 0, sizeof r->data);
    }
    a.data.readIOs = 100;
    b.data.readIOs = 130;
    a.data.writeIOs = 0xFFFFFFFFFFFFFF00ull;  // near the top of 64 bits
    b.data.writeIOs = 0xFFFFFFFFFFFFFFFFull;
    a.data.opsCompleted = 500;
    b.data.opsCompleted = 3;  // went down: a reset
    auto disk = [](uint32_t id, uint32_t reads) {
        _fcdDiskStats* d = new _fcdDiskStats();
        memset(d, 0, sizeof *d);
        d->diskID = id;
        d->diskType = 2;
        d->numReadIOs = reads;
        return d;
    };
    a.addDiskStats(disk(7, 1));
    a.addDiskStats(disk(9, 0x80000000u));
    b.addDiskStats(disk(9, 0x80000010u));
    b.addDiskStats(disk(8, 5));
}

}  // namespace

// Kept to a few names, the values are exactly those of the whole flattening
// that bear them, labels and order included, at every depth: top-level
// values, a pool's volumes, keyed processes and histogram buckets.
TEST(RecordValuesTest, KeptToSomeNamesTheyAreTheWholeFlatteningsOwn) {
    Filler f(9);
    LpStatsSet lp;
    fillLpSetData(lp, f);
    lp.addLpStats(makeLp(f, "pool0", 2));
    lp.addLpStats(makeLp(f, "pool1", 3));
    MgmtProcStats mgmt;
    fillMgmt(mgmt, f);
    NbladeStats nb;
    fillNblade(nb, f);
    auto check = [](const auto& rec, size_t wantedNames) {
        std::vector<RecordValue> all = valuesOf(rec);
        // One name of each depth there is, a histogram's among them when the
        // record has one, and a name that is none.
        std::vector<std::string> names;
        std::set<size_t> depths;
        for (const RecordValue& v : all) {
            size_t depth = std::count(v.name.begin(), v.name.end(), '.') + v.labels.size() * 10;
            if (depths.insert(depth).second && names.size() < wantedNames)
                names.push_back(v.name);
        }
        names.push_back("no.such.value");
        RecordValues some(names);
        rec.visit(some);
        std::vector<RecordValue> want;
        for (const RecordValue& v : all)
            if (std::find(names.begin(), names.end(), v.name) != names.end())
                want.push_back(v);
        ASSERT_GT(want.size(), names.size() - 1);
        ASSERT_EQ(want.size(), some.values.size());
        for (size_t i = 0; i < want.size(); i++) {
            EXPECT_EQ(want[i].display(), some.values[i].display());
            EXPECT_EQ(want[i].value.bits, some.values[i].value.bits);
        }
    };
    check(lp, 6);
    check(mgmt, 6);
    check(nb, 4);
}

TEST(RatesTest, CountersMatchedByNameAndLabelsResetsShownAsSuch) {
    FcdStats a, b;
    fcdPair(a, b);
    std::vector<RecordValue> va = valuesOf(a), vb = valuesOf(b);
    // Identities are labels, not values; statuses and words are values.
    ASSERT_NE(nullptr, find(vb, "disk.numReadIOs{disk_id=9,disk_type=2}"));
    EXPECT_EQ(nullptr, find(vb, "disk.id{disk_id=9,disk_type=2}"));
    EXPECT_EQ(FieldKind::Status, find(vb, "statsRpcStatus")->kind);

    std::vector<CounterRate> rates = counterRates(va, vb, 10.0);
    const CounterRate* reads = findRate(rates, "global.readIOs");
    ASSERT_NE(nullptr, reads);
    EXPECT_FALSE(reads->reset);
    EXPECT_EQ(30u, reads->delta);
    EXPECT_DOUBLE_EQ(3.0, reads->perSecond);
    const CounterRate* writes = findRate(rates, "global.writeIOs");
    EXPECT_EQ(0xFFu, writes->delta) << "a 64-bit delta is taken in integers";
    const CounterRate* ops = findRate(rates, "global.opsCompleted");
    EXPECT_TRUE(ops->reset);
    const CounterRate* disk9 = findRate(rates, "disk.numReadIOs{disk_id=9,disk_type=2}");
    ASSERT_NE(nullptr, disk9) << "disk 9 moved from second to first place";
    EXPECT_EQ(16u, disk9->delta);
    EXPECT_EQ(nullptr, findRate(rates, "disk.numReadIOs{disk_id=8,disk_type=2}"))
        << "a disk new in the later record has no rate";
    EXPECT_EQ(nullptr, findRate(rates, "statsRpcStatus")) << "only counters have rates";

    std::string text = ratesText(rates);
    char line[256];
    snprintf(line, sizeof line, "%-56s %14s %14s/s\n", "global.readIOs", "30", "3.00");
    EXPECT_NE(std::string::npos, text.find(line)) << text;
    snprintf(line, sizeof line, "%-56s reset (500 -> 3)\n", "global.opsCompleted");
    EXPECT_NE(std::string::npos, text.find(line)) << text;

    std::string json = ratesJson(rates, 1000, 1010);
    EXPECT_EQ(0u, json.find("{\"from\": 1000, \"to\": 1010, \"seconds\": 10, \"rates\": ["));
    EXPECT_NE(std::string::npos,
              json.find("{\"name\": \"global.opsCompleted\", \"labels\": {}, \"reset\": true, "
                        "\"from\": 500, \"to\": 3}"));
    EXPECT_NE(std::string::npos,
              json.find("{\"name\": \"disk.numReadIOs\", \"labels\": {\"disk_id\": \"9\", "
                        "\"disk_type\": \"2\"}, \"delta\": 16, \"per_second\": 1.6}"))
        << json;
}

TEST(RatesTest, SignedCountersAndLevels) {
    DbladeStats a, b;
    memset(&a.data, 0, sizeof a.data);
    memset(&b.data, 0, sizeof b.data);
    a.data.rf.rxAcks = -5;  // a signed counter below zero going up
    b.data.rf.rxAcks = 3;
    a.data.rf.txAcks = 3;
    b.data.rf.txAcks = -5;
    a.data.directoryCache.hits = 0xFFFFFFF0u;  // unsigned above 2^31
    b.data.directoryCache.hits = 0xFFFFFFFFu;
    a.data.cpu0PctIdle = 10;
    b.data.cpu0PctIdle = 90;
    std::vector<RecordValue> va = valuesOf(a), vb = valuesOf(b);
    std::vector<CounterRate> rates = counterRates(va, vb, 2.0);
    EXPECT_EQ(8u, findRate(rates, "rf.rxAcks")->delta);
    EXPECT_FALSE(findRate(rates, "rf.rxAcks")->reset);
    EXPECT_TRUE(findRate(rates, "rf.txAcks")->reset);
    EXPECT_NE(std::string::npos, ratesText(rates).find("reset (3 -> -5)"));
    EXPECT_EQ(15u, findRate(rates, "directoryCache.hits")->delta);
    EXPECT_EQ(nullptr, findRate(rates, "cpu0PercentIdle")) << "a level has no rate";
    EXPECT_EQ(nullptr, findRate(rates, "krqm.maxRnums"));
}

TEST(WatchViewTest, OneLinePerIntervalHeaderEveryTwentyFieldsSummed) {
    LpStatsSet a, b;
    Filler f(3);
    for (LpStatsSet* s : {&a, &b}) {
        fillLpSetData(*s, f);
        s->data.volStatRpcStatus = 0;
        s->addLpStats(makeLp(f, "p0", 2));
        (*s)[0].data.statsRpcStatus = 0;
        (*s)[0][0].data.statsRpcStatus = 0;
        (*s)[0][1].data.statsRpcStatus = 0;
    }
    // The same pool and volumes in both: same identities.
    memcpy(b[0].data.uuid, a[0].data.uuid, sizeof a[0].data.uuid);
    b[0][0].data.vfsid = a[0][0].data.vfsid;
    b[0][1].data.vfsid = a[0][1].data.vfsid;
    b.data.globopReadCount = a.data.globopReadCount + 50;
    a[0][0].data.volopReadCount = 10;
    b[0][0].data.volopReadCount = 20;
    a[0][1].data.volopReadCount = 100;
    b[0][1].data.volopReadCount = 130;
    a[0][1].data.volopWriteCount = 100;
    b[0][1].data.volopWriteCount = 99;
    std::vector<RecordValue> va = valuesOf(a), vb = valuesOf(b);
    std::vector<CounterRate> rates = counterRates(va, vb, 10.0);
    WatchView view({"global.globopReadCount", "lp.vfs.volopReadCount", "lp.vfs.volopWriteCount"});
    EXPECT_TRUE(view.unknownFields(rates).empty());
    EXPECT_EQ(std::vector<std::string>{"lp.nosuch"},
              WatchView({"lp.vfs.volopReadCount", "lp.nosuch"}).unknownFields(rates));
    std::string header =
        "time     snapshot        global.globopReadCount lp.vfs.volopReadCount "
        "lp.vfs.volopWriteCount\n";
    std::string row =
        "12:00:00 20261207-120000                   5.00                  4.00 "
        "                 reset\n";
    EXPECT_EQ(header + row, view.line(rates, "12:00:00", "20261207-120000"));
    for (int i = 1; i < 20; i++)
        EXPECT_EQ(row, view.line(rates, "12:00:00", "20261207-120000"));
    EXPECT_EQ(header + row, view.line(rates, "12:00:00", "20261207-120000"));
}

// Three snapshots of a pool with two volumes: values summed over the
// volumes, rates per second since the snapshot before, an empty cell where a
// volume's counter went down, a level's sum as it stands.
TEST(CsvViewTest, ValuesAndRatesSummedResetsLeftEmpty) {
    LpStatsSet s[3];
    Filler f(4);
    for (LpStatsSet& r : s) {
        fillLpSetData(r, f);
        r.data.volStatRpcStatus = 0;
        r.addLpStats(makeLp(f, "p0", 2));
        r[0].data.statsRpcStatus = 0;
        r[0][0].data.statsRpcStatus = 0;
        r[0][1].data.statsRpcStatus = 0;
    }
    for (int i = 1; i < 3; i++) {
        memcpy(s[i][0].data.uuid, s[0][0].data.uuid, sizeof s[0][0].data.uuid);
        s[i][0][0].data.vfsid = s[0][0][0].data.vfsid;
        s[i][0][1].data.vfsid = s[0][0][1].data.vfsid;
    }
    // Reads: 10+100, 20+130, 40+190. Writes: 100+5, 99+5 (one went down),
    // 120+25.
    const uint64_t reads[3][2] = {{10, 100}, {20, 130}, {40, 190}};
    const uint64_t writes[3][2] = {{100, 5}, {99, 5}, {120, 25}};
    for (int i = 0; i < 3; i++)
        for (int v = 0; v < 2; v++) {
            s[i][0][v].data.volopReadCount = reads[i][v];
            s[i][0][v].data.volopWriteCount = writes[i][v];
        }
    std::vector<CsvSample> samples = {
        {1000, valuesOf(s[0])}, {1010, valuesOf(s[1])}, {1030, valuesOf(s[2])}};
    std::vector<std::string> fields = {"lp.vfs.volopReadCount", "lp.vfs.volopWriteCount"};
    EXPECT_EQ(
        "timestamp,lp.vfs.volopReadCount,lp.vfs.volopWriteCount\n"
        "1000,110,105\n"
        "1010,150,104\n"
        "1030,230,145\n",
        csvTable(fields, samples, false));
    EXPECT_EQ(
        "timestamp,lp.vfs.volopReadCount,lp.vfs.volopWriteCount\n"
        "1010,4.000,\n"
        "1030,4.000,2.050\n",
        csvTable(fields, samples, true));
    // One snapshot: values, but no rate.
    EXPECT_EQ("timestamp,lp.vfs.volopReadCount\n",
              csvTable({"lp.vfs.volopReadCount"}, {samples[0]}, true));
    EXPECT_TRUE(csvUnknownFields(fields, samples, true).empty());
    EXPECT_EQ(std::vector<std::string>{"lp.vfs.nosuch"},
              csvUnknownFields({"lp.vfs.volopReadCount", "lp.vfs.nosuch"}, samples, false));
    // A level is a value, not a counter.
    const RecordValue* level = nullptr;
    for (const RecordValue& v : samples[0].values)
        if (v.kind == FieldKind::Gauge)
            level = &v;
    ASSERT_NE(nullptr, level);
    EXPECT_TRUE(csvUnknownFields({level->name}, samples, false).empty());
    EXPECT_EQ(std::vector<std::string>{level->name},
              csvUnknownFields({level->name}, samples, true));
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// The SVG chart: a document xmllint accepts, one path per field with its
// points placed by time and value, broken where a snapshot is missing (a gap
// of more than one and a half usual steps) and where a rate is unknown; names
// escaped.
TEST(SvgPlotTest, OnePathPerFieldBrokenAtGapsAndUnknownRates) {
    std::vector<RateRow> rows;
    // Every 10 s from 1000 to 1060, then nothing until 1100 (a lost
    // snapshot), then 1110; the second field's rate is unknown at 1030.
    for (uint32_t t : {1010u, 1020u, 1030u, 1040u, 1050u, 1060u, 1100u, 1110u})
        rows.push_back(
            RateRow{t, {double(t - 1000), 5.0}, {true, t != 1030}, false, {false, false}});
    std::string svg = svgPlot("node<1>: lp & more", {"lp.vfs.volopReadCount", "a<b"}, rows);
    ScratchDir dir;
    std::string file = dir.file("plot.svg");
    std::ofstream(file) << svg;
    EXPECT_EQ(0, system(("xmllint --noout " + file).c_str())) << svg.substr(0, 400);
    EXPECT_EQ(2u, countOf(svg, "<path class=\"series\""));
    EXPECT_NE(std::string::npos, svg.find("node&lt;1&gt;: lp &amp; more"));
    EXPECT_NE(std::string::npos, svg.find(">a&lt;b</text>"));
    // First path: one break (the gap before 1100); second: the gap and 1030.
    size_t first = svg.find("data-field=\"lp.vfs.volopReadCount\"");
    size_t second = svg.find("data-field=\"a&lt;b\"");
    ASSERT_NE(std::string::npos, first);
    ASSERT_NE(std::string::npos, second);
    std::string d1 = svg.substr(first, svg.find("/>", first) - first);
    std::string d2 = svg.substr(second, svg.find("/>", second) - second);
    EXPECT_EQ(2u, countOf(d1, "M")) << d1;
    EXPECT_EQ(8u, countOf(d1, " L") + countOf(d1, "M")) << d1;
    EXPECT_EQ(3u, countOf(d2, "M")) << d2;
    EXPECT_EQ(7u, countOf(d2, " L") + countOf(d2, "M")) << d2;
    // The first point at the left edge (x 80); the value axis in steps of 50
    // up to 150 (the highest rate is 110), so 10 is at 40 + 380 x 14/15.
    EXPECT_NE(std::string::npos, d1.find("d=\"M80.0 394.7 L146.0 369.3")) << d1;
    EXPECT_NE(std::string::npos, svg.find(">150</text>")) << "the value axis' top label";
    EXPECT_EQ(std::string::npos, svg.find(">200</text>"));

    // A row known to follow an unreadable snapshot breaks every line, though
    // its step is the usual one.
    rows[2].afterGap = true;
    svg = svgPlot("t", {"f"}, std::vector<RateRow>(rows.begin(), rows.begin() + 5));
    size_t at = svg.find("data-field=\"f\"");
    ASSERT_NE(std::string::npos, at);
    std::string d = svg.substr(at, svg.find("/>", at) - at);
    EXPECT_EQ(2u, countOf(d, "M")) << d;
    EXPECT_EQ(3u, countOf(d, " L")) << d;
}

TEST(MetricsTest, NamesLabelsAndKinds) {
    EXPECT_EQ("tolm_get_attr", Metrics::snakeCase("TolmGetAttr"));
    EXPECT_EQ("num_dbuf_cache_hits", Metrics::snakeCase("numDBufCacheHits"));
    EXPECT_EQ("nfs_stats_rpc_status", Metrics::snakeCase("_nfsStatsRpcStatus"));
    EXPECT_EQ("cpu0_percent_idle", Metrics::snakeCase("cpu0PercentIdle"));
    EXPECT_EQ("lock_null_succeeded", Metrics::snakeCase("lock.null.succeeded"));
    EXPECT_EQ("a\\\"b\\\\c\\nd", Metrics::escapeLabel("a\"b\\c\nd"));

    FcdStats a, b;
    fcdPair(a, b);
    MgmtProcStats m;
    memset(&m.data, 0, sizeof m.data);
    m.data.vldb.vmrss = 4096;
    DbladeStats d;
    memset(&d.data, 0, sizeof d.data);
    d.data.inode.getAttrCounter = 12;
    Metrics metrics;
    metrics.add("fcd", valuesOf(b));
    metrics.add("mgmtproc", valuesOf(m));
    metrics.add("dblade", valuesOf(d));
    std::string text = metrics.text();
    EXPECT_NE(std::string::npos,
              text.find("# HELP tolm_fcd_disk_num_read_ios_total fcd record, counter "
                        "disk.numReadIOs\n# TYPE tolm_fcd_disk_num_read_ios_total counter\n"
                        "tolm_fcd_disk_num_read_ios_total{disk_id=\"9\",disk_type=\"2\"} "
                        "2147483664\n"
                        "tolm_fcd_disk_num_read_ios_total{disk_id=\"8\",disk_type=\"2\"} 5\n"))
        << text;
    EXPECT_NE(std::string::npos,
              text.find("# TYPE tolm_fcd_global_write_ios_total counter\n"
                        "tolm_fcd_global_write_ios_total 18446744073709551615\n"));
    // Memory figures in bytes, from the kibibytes of the status files, even
    // past 32 bits.
    m.data.tomcat.vmsize = 0xFFFFFFFFu;
    Metrics kib;
    kib.add("mgmtproc", valuesOf(m));
    std::string mtext = kib.text();
    EXPECT_NE(std::string::npos,
              mtext.find("# TYPE tolm_mgmtproc_vmrss_bytes gauge\n"
                         "tolm_mgmtproc_vmrss_bytes{process=\"tomcat\"} 0\n"
                         "tolm_mgmtproc_vmrss_bytes{process=\"vldb\"} 4194304\n"))
        << mtext;
    EXPECT_NE(std::string::npos,
              mtext.find("tolm_mgmtproc_vmsize_bytes{process=\"tomcat\"} 4398046510080\n"))
        << mtext;
    // No record words: the exporter says version and time its own way.
    for (const char* word :
         {"tolm_fcd_version", "tolm_fcd_created", "tolm_fcd_completed", "tolm_dblade_mask",
          "tolm_dblade_created", "tolm_mgmtproc_version", "tolm_mgmtproc_created"})
        EXPECT_EQ(std::string::npos, (text + mtext).find(std::string("\n") + word)) << word;
    EXPECT_NE(std::string::npos, text.find("# TYPE tolm_fcd_stats_rpc_status gauge\n"));
    // A type's name is not part of a metric's: "Counter" becomes "count".
    EXPECT_NE(std::string::npos, text.find("\ntolm_dblade_inode_get_attr_count_total 12\n"));
}

// promtool (Debian package prometheus) checks the text of random records of
// all five types, with a pool name that needs escaping; every family once.
TEST(MetricsTest, PromtoolAcceptsAllFiveRecords) {
    if (system("command -v promtool >/dev/null 2>&1") != 0) {
        if (getenv("CI"))
            FAIL() << "promtool is missing (package prometheus)";
        GTEST_SKIP() << "promtool is missing (package prometheus)";
    }
    Filler f(5);
    NbladeStats nb;
    fillNblade(nb, f);
    DbladeStats db;
    fillDblade(db, f);
    LpStatsSet lp;
    fillLpSetData(lp, f);
    lp.data.volStatRpcStatus = 0;
    lp.addLpStats(makeLp(f, "pool \"a\"\\\n", 2));
    lp.addLpStats(makeLp(f, "pool1", 1));
    for (size_t i = 0; i < lp.size(); i++) {
        lp[i].data.statsRpcStatus = 0;
        for (size_t v = 0; v < lp[i].size(); v++)
            lp[i][v].data.statsRpcStatus = 0;
    }
    FcdStats fcd;
    fillFcdData(fcd, f);
    fcd.data.statsRpcStatus = 0;
    fcd.addDiskStats(makeDisk(f));
    MgmtProcStats mgmt;
    fillMgmt(mgmt, f);
    Metrics m;
    m.add("nblade", valuesOf(nb));
    m.add("dblade", valuesOf(db));
    m.add("lp", valuesOf(lp));
    m.add("fcd", valuesOf(fcd));
    m.add("mgmtproc", valuesOf(mgmt));
    std::string text = m.text();
    std::set<std::string> families;
    size_t pos = 0, helps = 0;
    while ((pos = text.find("# HELP ", pos)) != std::string::npos) {
        pos += 7;
        families.insert(text.substr(pos, text.find(' ', pos) - pos));
        helps++;
    }
    EXPECT_EQ(helps, families.size()) << "a metric family appears twice";
    EXPECT_GT(helps, 800u);
    ScratchDir dir;
    std::ofstream(dir.file("metrics")) << text;
    std::string cmd =
        "promtool check metrics < " + dir.file("metrics") + " > " + dir.file("out") + " 2>&1";
    int rc = system(cmd.c_str());
    std::ifstream in(dir.file("out"));
    std::string out((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(0, rc) << out;
    EXPECT_EQ("", out);
}
