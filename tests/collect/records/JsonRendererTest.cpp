// The JSON form: every value of every record type comes back from a JSON
// parser (python3's) equal to the record's own, under its path, in record
// order; names are escaped so that the parser returns them unchanged; zero
// counters and empty elements are left out unless asked for.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "JsonRenderer.h"
#include "RecordTestUtil.h"

namespace {

// Parses `json` with python3 (duplicate keys refused) and returns one line
// "path value" per value in document order; array elements are numbered.
std::vector<std::string> parsed(const std::string& json) {
    ScratchDir dir;
    std::ofstream(dir.file("r.json")) << json;
    std::ofstream(dir.file("flat.py")) << R"PY(
import json, sys
def unique(pairs):
    keys = [k for k, _ in pairs]
    assert len(keys) == len(set(keys)), "duplicate key in " + repr(keys)
    return dict(pairs)
def walk(path, v):
    if isinstance(v, dict):
        for k, x in v.items(): walk(path + [k], x)
    elif isinstance(v, list):
        for i, x in enumerate(v): walk(path + [str(i)], x)
    else:
        print(".".join(path), json.dumps(v))
walk([], json.load(open(sys.argv[1]), object_pairs_hook=unique))
)PY";
    std::string cmd = "python3 " + dir.file("flat.py") + " " + dir.file("r.json") + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    std::vector<std::string> lines;
    char buf[4096];
    std::string line;
    while (fgets(buf, sizeof buf, p)) {
        line += buf;
        if (!line.empty() && line.back() == '\n') {
            line.pop_back();
            lines.push_back(line);
            line.clear();
        }
    }
    EXPECT_EQ(0, pclose(p)) << "python3 refused the JSON: "
                            << (lines.empty() ? std::string() : lines.back());
    return lines;
}

// The expected lines, built from the field lists with the test's own
// formatting of each type.
struct Expected {
    std::vector<std::string> lines;
    std::string prefix;
    void add(const std::string& name, uint64_t v) {
        lines.push_back(prefix + name + " " + std::to_string(v));
    }
    void add(const std::string& name, uint32_t v) { add(name, static_cast<uint64_t>(v)); }
    void add(const std::string& name, uint16_t v) { add(name, static_cast<uint64_t>(v)); }
    void add(const std::string& name, int32_t v) {
        lines.push_back(prefix + name + " " + std::to_string(v));
    }
    void add(const std::string& name, const success_fail_t& v) {
        add(name + ".succeeded", v.succeeded);
        add(name + ".failed", v.failed);
    }
    template <size_t N>
    void add(const std::string& name, const uint32_t (&a)[N]) {
        for (size_t i = 0; i < N; i++)
            add(name + "." + std::to_string(i), a[i]);
    }
    void text(const std::string& name, const std::string& quoted) {
        lines.push_back(prefix + name + " " + quoted);
    }
};
#define EXPECT_FIELD(T, name, ...) e.add(#name, sub.name);

// A pool's uuid as 32 lowercase hex digits.
std::string hex16(const unsigned char* u) {
    std::string s;
    char buf[3];
    for (int i = 0; i < 16; i++) {
        snprintf(buf, sizeof buf, "%02x", u[i]);
        s += buf;
    }
    return s;
}

template <typename R>
std::string jsonOf(const R& r, bool showZero) {
    JsonRenderer j(showZero);
    r.visit(j);
    return j.str();
}

}  // namespace

TEST(JsonRendererTest, BladeRecordsComeBackValueForValue) {
    Filler f(7);
    NbladeStats nb;
    fillNblade(nb, f);
    Expected e;
    e.add("version", nb.data.version);
    e.add("mask", nb.data.mask);
    e.add("created", nb.data.timestampCreated);
    e.add("completed", nb.data.timestampCompleted);
    e.add("_nfsStatsRpcStatus", nb.data._nfsStatsRpcStatus);
    e.add("_cifsStatsRpcStatus", nb.data._cifsStatsRpcStatus);
#define EXPECT_NB(bit, member, type, sname, FIELDS, Suffix) \
    {                                                       \
        auto& sub = nb.data.member;                         \
        e.prefix = #member ".";                             \
        FIELDS(EXPECT_FIELD)                                \
    }
    NB_SUBRECORDS(EXPECT_NB)
#undef EXPECT_NB
    std::vector<std::string> got = parsed(jsonOf(nb, true));
    EXPECT_EQ(e.lines, got);
    // Counters of 32 bits above 2^31 stay unsigned (the filler sets the top bit).
    EXPECT_EQ("bcp.freeBuffersPool1 " + std::to_string(nb.data.bcp.freeBuffersPool1), got[7]);
    EXPECT_GE(nb.data.bcp.freeBuffersPool1, 0x80000000u);

    DbladeStats db;
    fillDblade(db, f);
    db.data.rf.rxAcks = -5;
    db.data.cpu1PctIdle = -1;
    Expected d;
    d.add("version", db.data.version);
    d.add("mask", db.data.mask);
    d.add("created", db.data.timestampCreated);
    d.add("completed", db.data.timestampCompleted);
    d.lines.push_back("cpu0PercentIdle " + std::to_string(db.data.cpu0PctIdle));
    d.lines.push_back("cpu1PercentIdle -1");
    {
        Expected& e = d;
#define EXPECT_DB(bit, member, type, FIELDS, Suffix) \
    {                                                \
        auto& sub = db.data.member;                  \
        e.prefix = #member ".";                      \
        FIELDS(EXPECT_FIELD)                         \
    }
#define EXPECT_LRU(bit, member) EXPECT_DB(bit, member, , DB_LRU_FIELDS, )
        DB_MEMBERS(EXPECT_DB, EXPECT_LRU)
#undef EXPECT_DB
#undef EXPECT_LRU
    }
    got = parsed(jsonOf(db, true));
    EXPECT_EQ(d.lines, got);
    // Signed fields stay signed; the one 16-bit field keeps its width.
    EXPECT_NE(got.end(), std::find(got.begin(), got.end(), "rf.rxAcks -5"));
    EXPECT_NE(got.end(), std::find(got.begin(), got.end(),
                                   "krqm.maxRnums " + std::to_string(db.data.krqm.maxRnums)));
}

TEST(JsonRendererTest, ListsAndNamesComeBackUnchanged) {
    Filler f(11);
    LpStatsSet set;
    fillLpSetData(set, f);
    set.data.volStatRpcStatus = 0;
    // A name with a tab, a quote, a backslash, a Latin-1 byte, UTF-8 and a
    // control character; a pool whose fetch failed; a pool without volumes.
    set.addLpStats(makeLp(f, std::string("p\t\"q\\\xe9\xc3\xa9\x01"), 2));
    set.addLpStats(makeLp(f, "failed", 1));
    set.addLpStats(makeLp(f, "empty", 0));
    set[0].data.statsRpcStatus = 0;
    set[0][0].data.statsRpcStatus = 0;
    set[0][1].data.statsRpcStatus = 5;
    set[1].data.statsRpcStatus = 9;
    set[2].data.statsRpcStatus = 0;
    Expected e;
    e.add("version", set.data.version);
    e.add("created", set.data.timestampCreated);
    e.add("completed", set.data.timestampCompleted);
    e.add("listLpRpcStatus", set.data.listLpRpcStatus);
    e.add("volStatRpcStatus", 0u);
    {
        auto& sub = set.data;
        e.prefix = "global.";
        LPSET_GLOBAL_FIELDS(EXPECT_FIELD)
    }
    for (size_t p = 0; p < set.size(); p++) {
        LpStats& lp = set[p];
        e.prefix = "lp." + std::to_string(p) + ".";
        // The parser's own escaping of what it read (ensure_ascii).
        e.text("name", p == 0 ? "\"p\\t\\\"q\\\\\\u00e9\\u00e9\\u0001\"" : "\"" + lp.name + "\"");
        e.text("uuid", "\"" + hex16(lp.data.uuid) + "\"");
        e.add("state", lp.data.state);
        e.add("statsRpcStatus", lp.data.statsRpcStatus);
        if (lp.data.statsRpcStatus == 0) {
            auto& sub = lp.data;
            LP_COUNTER_FIELDS(EXPECT_FIELD)
        }
        for (size_t v = 0; v < lp.size(); v++) {
            e.prefix = "lp." + std::to_string(p) + ".vfs." + std::to_string(v) + ".";
            e.add("vfsid", lp[v].data.vfsid);
            e.add("statsRpcStatus", lp[v].data.statsRpcStatus);
            if (lp[v].data.statsRpcStatus == 0) {
                auto& sub = lp[v].data;
                VFS_COUNTER_FIELDS(EXPECT_FIELD)
            }
        }
    }
    EXPECT_EQ(e.lines, parsed(jsonOf(set, true)));

    FcdStats fcd;
    fillFcdData(fcd, f);
    fcd.data.statsRpcStatus = 3;  // no totals
    fcd.addDiskStats(makeDisk(f));
    fcd.addDiskStats(makeDisk(f));
    Expected d;
    d.add("version", fcd.data.version);
    d.add("created", fcd.data.timestampCreated);
    d.add("completed", fcd.data.timestampCompleted);
    d.add("listRpcStatus", fcd.data.listRpcStatus);
    d.add("statsRpcStatus", 3u);
    for (size_t i = 0; i < fcd.size(); i++) {
        Expected& e = d;
        auto& sub = fcd[i];
        e.prefix = "disk." + std::to_string(i) + ".";
        e.add("id", sub.diskID);
        e.add("type", sub.diskType);
        FCD_DISK_COUNTER_FIELDS(EXPECT_FIELD)
    }
    EXPECT_EQ(d.lines, parsed(jsonOf(fcd, true)));

    MgmtProcStats mgmt;
    fillMgmt(mgmt, f);
    Expected m;
    m.add("version", mgmt.data.version);
    m.add("created", mgmt.data.timestampCreated);
    {
        Expected& e = m;
#define EXPECT_PROC(member, label)      \
    {                                   \
        auto& sub = mgmt.data.member;   \
        e.prefix = #member ".";         \
        PROC_STATS_FIELDS(EXPECT_FIELD) \
    }
        MGMT_PROCESSES(EXPECT_PROC)
#undef EXPECT_PROC
    }
    EXPECT_EQ(m.lines, parsed(jsonOf(mgmt, true)));
}

TEST(JsonRendererTest, ZerosAndEmptyElementsLeftOutUnlessAsked) {
    NbladeStats nb;
    memset(&nb.data, 0, sizeof nb.data);
    nb.data.version = 1;
    nb.data.cifs.TolmRead = 7;
    nb.data.lock.null.failed = 2;
    EXPECT_EQ(
        "{\"version\": 1, \"mask\": 0, \"created\": 0, \"completed\": 0, "
        "\"_nfsStatsRpcStatus\": 0, \"_cifsStatsRpcStatus\": 0, "
        "\"cifs\": {\"TolmRead\": 7}, \"lock\": {\"null\": {\"failed\": 2}}}",
        jsonOf(nb, false));

    FcdStats fcd;
    memset(&fcd.data, 0, sizeof fcd.data);
    _fcdDiskStats* a = new _fcdDiskStats();
    memset(a, 0, sizeof *a);
    a->diskID = 1;
    a->diskType = 2;
    _fcdDiskStats* b = new _fcdDiskStats();
    memset(b, 0, sizeof *b);
    b->diskID = 3;
    b->numWriteIOs = 0xFFFFFFFFu;
    fcd.addDiskStats(a);
    fcd.addDiskStats(b);
    EXPECT_EQ(
        "{\"version\": 0, \"created\": 0, \"completed\": 0, \"listRpcStatus\": 0, "
        "\"statsRpcStatus\": 0, \"disk\": [{\"id\": 1, \"type\": 2}, "
        "{\"id\": 3, \"type\": 0, \"numWriteIOs\": 4294967295}]}",
        jsonOf(fcd, false));
    // With zeros: the totals and every counter of both disks.
    std::vector<std::string> all = parsed(jsonOf(fcd, true));
    EXPECT_EQ(5u + 8u + 2u * 6u, all.size());
    EXPECT_EQ("global.readFrames 0", all[5]);
    EXPECT_EQ("disk.1.numWriteIOs 4294967295", all.back());

    // An empty set is an object of its words only.
    LpStatsSet set;
    memset(&set.data, 0, sizeof set.data);
    set.data.volStatRpcStatus = 4;
    EXPECT_EQ(
        "{\"version\": 0, \"created\": 0, \"completed\": 0, \"listLpRpcStatus\": 0, "
        "\"volStatRpcStatus\": 4}",
        jsonOf(set, true));
}
