#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

#include "DirSource.h"
#include "RecordTestUtil.h"
#include "SignalMgr.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"
#include "StampName.h"
#include "TimeBound.h"

namespace {

TEST(TimeBound, SecondsStampNamesAndOffsets) {
    TimeBound t;
    ASSERT_TRUE(TimeBound::parse("1796646908", &t));
    EXPECT_FALSE(t.relative());
    EXPECT_EQ(1796646908u, t.resolve(5));
    ASSERT_TRUE(TimeBound::parse("4294967295", &t));
    EXPECT_EQ(0xFFFFFFFFu, t.resolve(0));
    EXPECT_FALSE(TimeBound::parse("4294967296", &t));

    // The local-time form, both ways.
    ASSERT_TRUE(TimeBound::parse(stampName(1796646908), &t));
    EXPECT_EQ(1796646908u, t.resolve(0));
    uint32_t back = 0;
    EXPECT_FALSE(parseStampName("20261307-231957", &back)) << "month 13";
    EXPECT_FALSE(parseStampName("20261207-241957", &back)) << "hour 24";
    EXPECT_FALSE(parseStampName("20261207_231957", &back));
    EXPECT_FALSE(parseStampName("20261207-23195", &back));
    EXPECT_FALSE(parseStampName("20261207-2319570", &back));

    // Offsets back from the newest snapshot.
    ASSERT_TRUE(TimeBound::parse("-90s", &t));
    EXPECT_TRUE(t.relative());
    EXPECT_EQ(10000u - 90, t.resolve(10000));
    ASSERT_TRUE(TimeBound::parse("-30m", &t));
    EXPECT_EQ(10000u - 1800, t.resolve(10000));
    ASSERT_TRUE(TimeBound::parse("-2h", &t));
    EXPECT_EQ(10000u - 7200, t.resolve(10000));
    ASSERT_TRUE(TimeBound::parse("-1d", &t));
    EXPECT_EQ(0u, t.resolve(10000)) << "an offset past the epoch";
    EXPECT_EQ(100000u - 86400, t.resolve(100000));
    for (const char* bad : {"", "-", "-h", "-2", "-2x", "2h", "-2.5h", "12a", "-99999999999s"})
        EXPECT_FALSE(TimeBound::parse(bad, &t)) << bad;
}

class RingProvider : public SnapshotProvider {
  public:
    RingProvider() : ring(-1) {}
    SnapshotRing* getAllSnapshots() override { return new SnapshotRing(ring); }
    Snapshot* getEarliestSnapshot() override { return ring.earliest(); }
    Snapshot* getLatestSnapshot() override { return ring.latest(); }
    Snapshot* getSnapshot(long t) override { return ring.find(t); }
    void getTimestamps(std::vector<unsigned int>& out) override {
        out.clear();
        ring.populateTimestamps(out);
    }
    SnapshotRing ring;
};

// A snapshot of every record, each created `late` seconds after the
// snapshot's own time (a collection takes a while).
Snapshot* fullSnapshot(int32_t t, int32_t late, Filler& f) {
    auto* nb = new NbladeStats();
    fillNblade(*nb, f);
    nb->data.timestampCreated = t + late;
    nb->data.mask = 0xffffffffu;  // what a collection sets, and a file records
    auto* db = new DbladeStats();
    fillDblade(*db, f);
    db->data.timestampCreated = t + late;
    db->data.mask = 0xffffffffu;
    auto* lp = new LpStatsSet();
    fillLpSetData(*lp, f);
    lp->addLpStats(makeLp(f, "pool", 3));
    lp->data.timestampCreated = t + late;
    auto* fcd = new FcdStats();
    fillFcdData(*fcd, f);
    fcd->data.timestampCreated = t + late;
    auto* m = new MgmtProcStats();
    fillMgmt(*m, f);
    m->data.timestampCreated = t + late;
    return new Snapshot(t, nb, db, lp, fcd, m);
}

std::string xmlOf(HistoryRecord& rec) {
    CapturingRenderer r;
    r.skipZeroAttributes(false);
    rec.toXml(r);
    return r.text;
}

template <typename R>
std::string xmlOf(R* rec) {
    CapturingRenderer r;
    r.skipZeroAttributes(false);
    rec->toXml(r);
    return r.text;
}

// Empty when equal, else the first line that differs in each.
std::string firstDifference(const std::string& a, const std::string& b) {
    size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at])
        at++;
    if (at == a.size() && at == b.size())
        return "";
    size_t start = a.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    return a.substr(start, a.find('\n', at) - start) + " | " +
           b.substr(start, b.find('\n', at) - start);
}

std::string readAll(FILE* f) {
    std::string out;
    rewind(f);
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    return out;
}

// A tree the daemon's signal dump wrote reads back record for record; each
// snapshot's time is its records' created stamp; damaged files and foreign
// entries cost only themselves, each named once.
TEST(DirSource, ReadsTheDaemonsDumpTreeAndSkipsWhatIsDamaged) {
    ScratchDir dir;
    Filler f(41);
    RingProvider p;
    const int32_t t0 = 1796558400;
    for (int i = 0; i < 4; i++) {
        Snapshot* s = fullSnapshot(t0 + 10 * i, 1, f);
        p.ring.add(s);
        s->release();
    }
    SignalMgr mgr;
    mgr.configure(&p, dir.path().c_str(), false, true);
    mgr._dumpSnapshots();

    FILE* warnings = tmpfile();
    ASSERT_NE(nullptr, warnings);
    {
        DirSource source(dir.path(), warnings);
        EXPECT_EQ((std::vector<uint32_t>{t0 + 1, t0 + 11, t0 + 21, t0 + 31}), source.timestamps());
        Snapshot* second = p.ring.find(t0 + 10);
        ASSERT_NE(nullptr, second);
        auto nb = source.recordAt(RecordType::Nblade, t0 + 11);
        ASSERT_NE(nullptr, nb);
        EXPECT_EQ("", firstDifference(xmlOf(second->nblade()), xmlOf(*nb)));
        auto lp = source.recordAt(RecordType::Lp, t0 + 11);
        ASSERT_NE(nullptr, lp);
        EXPECT_EQ("", firstDifference(xmlOf(second->lps()), xmlOf(*lp)));
        auto db = source.recordAt(RecordType::Dblade, t0 + 11);
        ASSERT_NE(nullptr, db);
        EXPECT_EQ("", firstDifference(xmlOf(second->dblade()), xmlOf(*db)));
        second->release();
        EXPECT_EQ(nullptr, source.recordAt(RecordType::Nblade, t0 + 10)) << "the directory's time";
        uint32_t stamp = 0;
        auto last = source.latest(RecordType::MgmtProc, &stamp);
        ASSERT_NE(nullptr, last);
        EXPECT_EQ(t0 + 31u, stamp);
        std::vector<HistoryEntry> w = source.window(RecordType::Fcd, t0 + 5, t0 + 21);
        ASSERT_EQ(2u, w.size());
        EXPECT_EQ(t0 + 11u, w[0].stamp);
        EXPECT_EQ(t0 + 21u, w[1].stamp);
    }
    EXPECT_EQ("", readAll(warnings));

    // Damage: a truncated N-blade file, an FCD file that holds a management
    // record, a snapshot whose records are all gone, a directory that is no
    // stamp, a snapshot of XML files only.
    std::string tree = dir.file("tolmstats/");
    std::string d1 = tree + stampName(t0 + 10), d2 = tree + stampName(t0 + 20),
                d3 = tree + stampName(t0 + 30);
    ASSERT_EQ(0, truncate((d1 + "/nblade").c_str(), 100));
    ASSERT_EQ(0, system(("cp " + d1 + "/mgmtproc " + d1 + "/fcd").c_str()));
    ASSERT_EQ(0, system(("rm " + d2 + "/*").c_str()));
    ASSERT_EQ(0, mkdir((tree + "lost+found").c_str(), 0755));
    ASSERT_EQ(0, system(("rm " + d3 + "/* && echo '<nblade/>' > " + d3 + "/nblade.xml").c_str()));
    {
        DirSource source(dir.path(), warnings);
        EXPECT_EQ((std::vector<uint32_t>{t0 + 1, t0 + 11}), source.timestamps());
        EXPECT_EQ(nullptr, source.recordAt(RecordType::Nblade, t0 + 11));
        EXPECT_EQ(nullptr, source.recordAt(RecordType::Nblade, t0 + 11));
        EXPECT_EQ(nullptr, source.recordAt(RecordType::Fcd, t0 + 11));
        EXPECT_NE(nullptr, source.recordAt(RecordType::Lp, t0 + 11)) << "the rest still reads";
        std::vector<HistoryEntry> w = source.window(RecordType::Nblade, 0, 0xFFFFFFFFu);
        ASSERT_EQ(1u, w.size());
        EXPECT_EQ(t0 + 1u, w[0].stamp);
    }
    std::string said = readAll(warnings);
    fclose(warnings);
    EXPECT_NE(std::string::npos, said.find("skipping " + d1 + "/nblade: ")) << said;
    EXPECT_NE(std::string::npos, said.find("skipping " + d1 + "/fcd: holds a record of type 4"))
        << said;
    EXPECT_NE(std::string::npos, said.find("skipping " + d2 + ": no record in it reads")) << said;
    EXPECT_NE(std::string::npos,
              said.find("skipping " + d3 + "/nblade.xml: XML element <nblade>: no attribute "))
        << said;
    EXPECT_NE(std::string::npos, said.find("skipping " + d3 + ": no record in it reads")) << said;
    EXPECT_EQ(std::string::npos, said.find("lost+found")) << said;
    // One line per damaged file, however often it is asked for.
    size_t lines = 0;
    for (char c : said)
        lines += c == '\n';
    EXPECT_EQ(5u, lines) << said;

    EXPECT_THROW(DirSource(dir.file("nowhere")), SourceError);
}

// A dump tree source that counts the files it opens, by name.
// With `ahead`, its window's files are opened by a second thread, as the
// volume's are.
class CountingDirSource : public DirSource {
  public:
    CountingDirSource(const std::string& dumpDir, FILE* warnings, bool ahead)
        : DirSource(dumpDir, warnings), _ahead(ahead) {}
    std::map<std::string, int> opened;
    int failAt = 0;  // the open of a name that throws, from 1

  protected:
    int openFile(const std::string& dir, const std::string& name, std::string* why) override {
        if (++opened[name] == failAt)
            throw SourceError("the tree went away");
        return DirSource::openFile(dir, name, why);
    }
    bool opensAhead() const override { return _ahead; }

  private:
    bool _ahead;
};

// A window asked of a tree not yet scanned reads one file per snapshot, the
// record asked for, whose own created stamp is the snapshot's time; a
// snapshot whose record of that type is damaged or missing is left out,
// whatever its other records hold.
TEST(DirSource, AWindowReadsOnlyTheRecordsAskedFor) {
    ScratchDir dir;
    Filler f(42);
    RingProvider p;
    const int32_t t0 = 1796558400;
    for (int i = 0; i < 5; i++) {
        Snapshot* s = fullSnapshot(t0 + 10 * i, 2, f);
        p.ring.add(s);
        s->release();
    }
    SignalMgr mgr;
    mgr.configure(&p, dir.path().c_str(), false, true);
    mgr._dumpSnapshots();
    std::string tree = dir.file("tolmstats/");
    // The oldest snapshot's management record is damaged (no longer a probe
    // can date it), the newest has no FCD record, the middle one's is cut.
    ASSERT_EQ(0, truncate((tree + stampName(t0) + "/mgmtproc").c_str(), 10));
    ASSERT_EQ(0, unlink((tree + stampName(t0 + 40) + "/fcd").c_str()));
    ASSERT_EQ(0, truncate((tree + stampName(t0 + 20) + "/fcd").c_str(), 50));

    for (bool ahead : {false, true}) {
        FILE* warnings = tmpfile();
        ASSERT_NE(nullptr, warnings);
        {
            CountingDirSource source(dir.path(), warnings, ahead);
            // The newest two read from the newest directory back, past the
            // one without the record and the one whose record is cut.
            std::vector<HistoryEntry> w = source.newest(RecordType::Fcd, 2);
            ASSERT_EQ(2u, w.size());
            EXPECT_EQ(t0 + 12u, w[0].stamp);
            EXPECT_EQ(t0 + 32u, w[1].stamp);
            EXPECT_EQ((std::map<std::string, int>{{"fcd", 4}, {"fcd.xml", 1}}), source.opened);
            source.opened.clear();

            w = source.window(RecordType::Fcd, 0, 0xFFFFFFFFu);
            ASSERT_EQ(3u, w.size());
            EXPECT_EQ(t0 + 2u, w[0].stamp) << "its damaged management record is not read";
            EXPECT_EQ(t0 + 12u, w[1].stamp);
            EXPECT_EQ(t0 + 32u, w[2].stamp);
            EXPECT_EQ(t0 + 32, w[2].record->created());
            EXPECT_FALSE(w[0].afterGap || w[1].afterGap);
            EXPECT_TRUE(w[2].afterGap) << "the cut record lies between the last two";
            EXPECT_EQ((std::map<std::string, int>{{"fcd", 5}, {"fcd.xml", 1}}), source.opened);

            w = source.window(RecordType::Fcd, t0 + 3, t0 + 31);
            ASSERT_EQ(1u, w.size()) << "the window's bounds are the records' stamps";
            EXPECT_EQ(t0 + 12u, w[0].stamp);

            // Once scanned, the snapshot's time comes from its smallest record.
            EXPECT_EQ((std::vector<uint32_t>{t0 + 2, t0 + 12, t0 + 22, t0 + 32, t0 + 42}),
                      source.timestamps());
            w = source.window(RecordType::MgmtProc, 0, t0 + 12);
            ASSERT_EQ(1u, w.size()) << "the oldest snapshot's management record is damaged";
            EXPECT_EQ(t0 + 12u, w[0].stamp);
            EXPECT_FALSE(w[0].afterGap) << "nothing in the window before it";
            w = source.window(RecordType::Fcd, 0, 0xFFFFFFFFu);
            ASSERT_EQ(3u, w.size());
            EXPECT_EQ(t0 + 32u, w[2].stamp);
            EXPECT_TRUE(w[2].afterGap && !w[1].afterGap && !w[0].afterGap);
        }
        std::string said = readAll(warnings);
        fclose(warnings);
        EXPECT_NE(std::string::npos, said.find("skipping " + tree + stampName(t0 + 20) + "/fcd: "))
            << said << (ahead ? " (opened ahead)" : "");
        EXPECT_NE(std::string::npos, said.find("skipping " + tree + stampName(t0) + "/mgmtproc: "))
            << said << (ahead ? " (opened ahead)" : "");
        EXPECT_EQ(std::string::npos, said.find(stampName(t0 + 40))) << said;

        // A tree that cannot be read further fails the window, wherever the
        // opening happens, and no thread is left behind.
        CountingDirSource failing(dir.path(), stderr, ahead);
        failing.failAt = 3;
        EXPECT_THROW(failing.window(RecordType::Nblade, 0, 0xFFFFFFFFu), SourceError);
        EXPECT_EQ(3, failing.opened["nblade"]);
    }
}

// The XML dumps, with and without the zero statistics, read back to the very
// records the binary dump holds: every field list walked both ways. Records
// with zeros in them (a pool's volume that failed, a process that is gone)
// and with statuses that replace their counters.
TEST(DirSource, XmlReadsBackAsTheBinaryForm) {
    Filler f(43);
    RingProvider p;
    const int32_t t0 = 1796558400;
    for (int i = 0; i < 3; i++) {
        Snapshot* s = fullSnapshot(t0 + 10 * i, 0, f);
        LpStatsSet& lp = *s->lps();
        lp[0].data.statsRpcStatus = 0;
        lp[0][0].data.statsRpcStatus = 0;
        lp[0][1].data.statsRpcStatus = i == 1 ? 7 : 0;  // its counters are then left out
        lp[0][2].data.statsRpcStatus = 0;
        lp[0][2].data.volopReadCount = 0;
        lp.data.volStatRpcStatus = i == 2 ? 3 : 0;
        memset(&s->mgmt()->data.hamgr, 0, sizeof s->mgmt()->data.hamgr);
        s->fcds()->data.statsRpcStatus = i == 1 ? 5 : 0;
        s->fcds()->addDiskStats(makeDisk(f));
        s->fcds()->addDiskStats(makeDisk(f));
        s->nblade()->data.bcp.histogram[7] = 0;
        p.ring.add(s);
        s->release();
    }
    ScratchDir binary, xml, xmlAll;
    for (auto [where, asXml, skipZero] :
         {std::make_tuple(&binary, false, false), std::make_tuple(&xml, true, true),
          std::make_tuple(&xmlAll, true, false)}) {
        SignalMgr mgr;
        mgr.configure(&p, where->path().c_str(), asXml, skipZero);
        mgr._dumpSnapshots();
    }
    FILE* warnings = tmpfile();
    DirSource fromBinary(binary.path(), warnings), fromXml(xml.path(), warnings),
        fromXmlAll(xmlAll.path(), warnings);
    ASSERT_EQ(3u, fromBinary.timestamps().size());
    EXPECT_EQ(fromBinary.timestamps(), fromXml.timestamps());
    EXPECT_EQ(fromBinary.timestamps(), fromXmlAll.timestamps());
    for (uint32_t t : fromBinary.timestamps())
        for (RecordType type : kRecordTypes) {
            auto b = fromBinary.recordAt(type, t);
            ASSERT_NE(nullptr, b) << recordTypeName(type) << " " << t;
            for (DirSource* s : {&fromXml, &fromXmlAll}) {
                auto x = s->recordAt(type, t);
                ASSERT_NE(nullptr, x) << recordTypeName(type) << " " << t;
                EXPECT_EQ("", firstDifference(xmlOf(*b), xmlOf(*x)))
                    << recordTypeName(type) << " " << t << " from " << s->where();
            }
        }
    EXPECT_EQ("", readAll(warnings));
    fclose(warnings);
}

// Whether libxml2 is mapped into this process.
bool libxml2Loaded() {
    FILE* maps = fopen("/proc/self/maps", "r");
    std::string all = readAll(maps);
    fclose(maps);
    return all.find("libxml2.so") != std::string::npos;
}

// The half of LibXml2IsLoadedOnlyForXmlRecords that runs in a fresh process
// (this program executed again, for that test alone, with the two trees in
// the environment): a fork would inherit the libxml2 that other tests of
// this process loaded. Exits 0, or with the bits of what went wrong.
[[noreturn]] void readTreesInAFreshProcess(const char* trees) {
    std::string both = trees;
    std::string binaryTree = both.substr(0, both.find(':'));
    std::string xmlTree = both.substr(both.find(':') + 1);
    int failed = 0;
    FILE* warnings = tmpfile();
    if (libxml2Loaded())
        failed |= 16;
    DirSource fromBinary(binaryTree, warnings);
    for (RecordType type : kRecordTypes)
        if (!fromBinary.recordAt(type, 1796558400))
            failed |= 1;
    if (libxml2Loaded())
        failed |= 2;
    DirSource fromXml(xmlTree, warnings);
    for (RecordType type : kRecordTypes)
        if (!fromXml.recordAt(type, 1796558400))
            failed |= 4;
    if (!libxml2Loaded())
        failed |= 8;
    _exit(failed);
}

// A reader of binary records never loads libxml2 (its start-up is most of a
// short query's); the first XML record loads it, and it reads whole.
TEST(DirSource, LibXml2IsLoadedOnlyForXmlRecords) {
    if (const char* trees = getenv("TOLM_TEST_XML_TREES"))
        readTreesInAFreshProcess(trees);
    Filler f(44);
    RingProvider p;
    Snapshot* s = fullSnapshot(1796558400, 0, f);
    p.ring.add(s);
    s->release();
    ScratchDir binary, xml;
    for (auto [where, asXml] : {std::make_pair(&binary, false), std::make_pair(&xml, true)}) {
        SignalMgr mgr;
        mgr.configure(&p, where->path().c_str(), asXml, false);
        mgr._dumpSnapshots();
    }
    std::string trees = binary.path() + ":" + xml.path();
    fflush(nullptr);
    pid_t child = fork();
    ASSERT_LE(0, child);
    if (child == 0) {
        setenv("TOLM_TEST_XML_TREES", trees.c_str(), 1);
        execl("/proc/self/exe", "client_tests",
              "--gtest_filter=DirSource.LibXml2IsLoadedOnlyForXmlRecords", nullptr);
        _exit(127);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status));
    // 1, 4: a record unread; 2: libxml2 loaded for binary records; 8: not
    // loaded after XML ones were read; 16: loaded at the start; 127: not run.
    EXPECT_EQ(0, WEXITSTATUS(status));
}

// Malformed XML records: each refused with the reason, never read as zeros.
TEST(DirSource, MalformedXmlIsRefusedWithItsReason) {
    ScratchDir dir;
    std::string d = dir.file("tolmstats/" + stampName(1796558400));
    ASSERT_EQ(0, system(("mkdir -p " + d).c_str()));
    auto put = [&](const char* name, const std::string& text) {
        FILE* out = fopen((d + "/" + name).c_str(), "w");
        fputs(text.c_str(), out);
        fclose(out);
    };
    put("mgmtproc.xml", "<mgmt version=\"1\" created=\"1796558400\"><tomcat/></mgmt>");
    put("nblade.xml",
        "<nblade version=\"1\" mask=\"0xffffffff\" created=\"1\" completed=\"2\">"
        "<statistic name=\"nosuch\" value=\"1\"/></nblade>");
    put("fcd.xml",
        "<fcd version=\"1\" created=\"1\" completed=\"2\"><disk id=\"x\" type=\"1\"/></fcd>");
    put("lp.xml", "<storagepools version=\"1\" created=\"1\" completed=\"2\"><lp name=\"a\"");
    put("dblade.xml", "<nblade version=\"1\" mask=\"0x1\" created=\"1\" completed=\"2\"/>");
    FILE* warnings = tmpfile();
    DirSource source(dir.path(), warnings);
    ASSERT_EQ(std::vector<uint32_t>{1796558400}, source.timestamps());
    EXPECT_NE(nullptr, source.recordAt(RecordType::MgmtProc, 1796558400));
    EXPECT_EQ(nullptr, source.recordAt(RecordType::Nblade, 1796558400));
    EXPECT_EQ(nullptr, source.recordAt(RecordType::Fcd, 1796558400));
    EXPECT_EQ(nullptr, source.recordAt(RecordType::Lp, 1796558400));
    EXPECT_EQ(nullptr, source.recordAt(RecordType::Dblade, 1796558400));
    std::string said = readAll(warnings);
    fclose(warnings);
    EXPECT_NE(std::string::npos, said.find("nblade.xml: XML element <nblade>: unexpected "
                                           "<statistic name=\"nosuch\">"))
        << said;
    EXPECT_NE(std::string::npos, said.find("fcd.xml: XML element <disk>: attribute id is no "
                                           "number: x"))
        << said;
    EXPECT_NE(std::string::npos, said.find("lp.xml: not an XML record: ")) << said;
    EXPECT_NE(std::string::npos, said.find("dblade.xml: XML root <nblade> is not <dblade>"))
        << said;
}

}  // namespace
