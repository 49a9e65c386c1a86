#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "RecordTestUtil.h"
#include "SLogger.h"
#include "SignalMgr.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"

namespace {

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

Snapshot* fullSnapshot(int32_t ts, Filler& f, uint32_t marker) {
    auto* nb = new NbladeStats();
    fillNblade(*nb, f);
    auto* db = new DbladeStats();
    fillDblade(*db, f);
    auto* lp = new LpStatsSet();
    fillLpSetData(*lp, f);
    lp->addLpStats(makeLp(f, "pool", 2));
    auto* fcd = new FcdStats();
    fillFcdData(*fcd, f);
    fcd->addDiskStats(makeDisk(f));
    auto* m = new MgmtProcStats();
    fillMgmt(*m, f);
    m->data.version = marker;
    return new Snapshot(ts, nb, db, lp, fcd, m);
}

void add(RingProvider& p, Snapshot* s) {
    p.ring.add(s);
    s->release();
}

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

TEST(SignalMgr, DumpTreeBinaryAndXml) {
    ScratchDir dir;
    Filler f(21);
    RingProvider p;
    SignalMgr mgr;
    mgr.configure(&p, dir.path().c_str(), false, true);

    // Both rings empty: only the tolmstats directory appears.
    mgr._dumpSnapshots();
    EXPECT_TRUE(exists(dir.file("tolmstats")));
    EXPECT_EQ(0, std::system(("test -z \"$(ls -A " + dir.file("tolmstats") + ")\"").c_str()));

    const int32_t t0 = 1796558400;
    add(p, fullSnapshot(t0, f, 1));
    add(p, fullSnapshot(t0 + 5, f, 2));
    add(p, fullSnapshot(t0 + 5, f, 3));  // same second as the one before
    mgr._dumpSnapshots();
    std::string d0 = dir.file("tolmstats/" + stampName(t0));
    std::string d5 = dir.file("tolmstats/" + stampName(t0 + 5));
    EXPECT_EQ(15u, stampName(t0).size());
    for (const char* name : {"nblade", "dblade", "lp", "fcd", "mgmtproc"}) {
        EXPECT_TRUE(exists(d0 + "/" + name)) << name;
        EXPECT_FALSE(exists(d0 + "/" + name + ".xml")) << name;
    }
    // The later snapshot of the same second replaced the earlier one's files.
    MgmtProcStats back((d5 + "/mgmtproc").c_str());
    EXPECT_EQ(3u, back.data.version);
    Snapshot* first = p.ring.earliest();
    NbladeStats nb((d0 + "/nblade").c_str());
    EXPECT_EQ(0, memcmp(&first->nblade()->data.bcp, &nb.data.bcp, sizeof nb.data.bcp));
    EXPECT_EQ(3772u, readFile(d0 + "/nblade").size());
    first->release();

    // An FCD file that cannot be created costs only that record.
    ASSERT_EQ(0, unlink((d0 + "/fcd").c_str()));
    ASSERT_EQ(0, mkdir((d0 + "/fcd").c_str(), 0755));
    ASSERT_EQ(0, unlink((d0 + "/mgmtproc").c_str()));
    mgr._dumpSnapshots();
    EXPECT_TRUE(exists(d0 + "/mgmtproc"));
    EXPECT_EQ(152u, readFile(d0 + "/mgmtproc").size());

    // XML dumps: the five .xml files, starting with the root element, well-formed.
    ScratchDir xdir;
    SignalMgr xml;
    xml.configure(&p, xdir.path().c_str(), true, true);
    xml._dumpSnapshots();
    std::string x0 = xdir.file("tolmstats/" + stampName(t0));
    const char* roots[] = {"<nblade ", "<dblade ", "<storagepools ", "<fcd ", "<mgmt "};
    int i = 0;
    for (const char* name : {"nblade.xml", "dblade.xml", "lp.xml", "fcd.xml", "mgmtproc.xml"}) {
        Bytes b = readFile(x0 + "/" + name);
        std::string text(b.begin(), b.end());
        EXPECT_EQ(0u, text.find(roots[i++])) << name;
        EXPECT_EQ(0, std::system(("xmllint --noout " + x0 + "/" + name).c_str())) << name;
        EXPECT_FALSE(exists(x0 + "/" + std::string(name, strlen(name) - 4))) << name;
    }

    // A missing dump directory: nothing written, nothing thrown.
    SignalMgr lost;
    lost.configure(&p, dir.file("missing").c_str(), false, true);
    lost._dumpSnapshots();
    EXPECT_FALSE(exists(dir.file("missing")));
}

TEST(SignalMgr, Sigusr1IsServedByTheSignalThread) {
    ScratchDir dir;
    Filler f(22);
    RingProvider p;
    add(p, fullSnapshot(1796558400, f, 1));
    SignalMgr::initialize(&p, dir.path().c_str(), false, true);
    kill(getpid(), SIGUSR1);
    std::string target = dir.file("tolmstats/" + stampName(1796558400) + "/mgmtproc");
    for (int i = 0; i < 200 && readFile(target).size() < 152; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(152u, readFile(target).size());
    // A second signal rewrites the same files without an error.
    unlink(target.c_str());
    kill(getpid(), SIGUSR1);
    for (int i = 0; i < 200 && readFile(target).size() < 152; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    EXPECT_EQ(152u, readFile(target).size());
    SignalMgr::initialize(nullptr, nullptr, false, true);
}

}  // namespace

namespace {

std::string slurpText(const std::string& path) {
    Bytes b = readFile(path);
    return std::string(b.begin(), b.end());
}

// Log lines of the test's dumps.
struct LogLines {
    LogLines() {
        SLogger::setObserver([this](int, const std::string& text) { lines.push_back(text); });
    }
    ~LogLines() { SLogger::setObserver(nullptr); }
    int count(const std::string& part) const {
        int n = 0;
        for (const auto& l : lines)
            n += l.find(part) != std::string::npos;
        return n;
    }
    std::vector<std::string> lines;
};

TEST(SignalMgr, DumpsFollowNoLinkAndWriteIntoNoExistingFile) {
    ScratchDir dir;
    ScratchDir outside;
    Filler f(22);
    RingProvider p;
    const int32_t t0 = 1796558400;
    add(p, fullSnapshot(t0, f, 1));
    add(p, fullSnapshot(t0 + 1, f, 2));
    add(p, fullSnapshot(t0 + 2, f, 3));
    SignalMgr mgr;
    mgr.configure(&p, dir.path().c_str(), false, true);
    const std::string victim = outside.file("victim");
    writeFile(victim, Bytes{'k', 'e', 'e', 'p'});
    auto untouched = [&] { return slurpText(victim) == "keep"; };

    // tolmstats itself a link to elsewhere: nothing is written at all.
    ASSERT_EQ(0, symlink(outside.path().c_str(), dir.file("tolmstats").c_str()));
    {
        LogLines log;
        mgr._dumpSnapshots();
        EXPECT_EQ(1, log.count("Refusing dump path '" + dir.file("tolmstats") + "': a symbolic link"));
    }
    EXPECT_FALSE(exists(outside.file(stampName(t0))));
    ASSERT_EQ(0, unlink(dir.file("tolmstats").c_str()));

    // A stamp directory that is a link, one owned by another user, and
    // record files that are a symbolic and a hard link to a file outside.
    ASSERT_EQ(0, mkdir(dir.file("tolmstats").c_str(), 0755));
    std::string d0 = dir.file("tolmstats/" + stampName(t0));
    std::string d1 = dir.file("tolmstats/" + stampName(t0 + 1));
    std::string d2 = dir.file("tolmstats/" + stampName(t0 + 2));
    ASSERT_EQ(0, symlink(outside.path().c_str(), d0.c_str()));
    ASSERT_EQ(0, mkdir(d1.c_str(), 0755));
    ASSERT_EQ(0, chown(d1.c_str(), geteuid() + 1, getegid()));
    ASSERT_EQ(0, mkdir(d2.c_str(), 0755));
    ASSERT_EQ(0, symlink(victim.c_str(), (d2 + "/nblade").c_str()));
    ASSERT_EQ(0, link(victim.c_str(), (d2 + "/fcd").c_str()));
    {
        LogLines log;
        mgr._dumpSnapshots();
        EXPECT_EQ(1, log.count("Refusing dump path '" + d0 + "': a symbolic link"));
        EXPECT_EQ(1, log.count("Refusing dump path '" + d1 + "': not owned by the daemon's user"));
        EXPECT_EQ(2, static_cast<int>(log.lines.size())) << log.lines.back();
    }
    EXPECT_TRUE(untouched()) << "the file outside was written through a link";
    EXPECT_FALSE(exists(outside.file("nblade")));
    EXPECT_FALSE(exists(d1 + "/nblade"));
    // The links in the third were replaced by files of their own.
    struct stat st;
    ASSERT_EQ(0, lstat((d2 + "/nblade").c_str(), &st));
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(1u, st.st_nlink);
    ASSERT_EQ(0, lstat((d2 + "/fcd").c_str(), &st));
    EXPECT_EQ(1u, st.st_nlink);
    NbladeStats nb((d2 + "/nblade").c_str());
    Snapshot* third = p.ring.latest();
    EXPECT_EQ(0, memcmp(&third->nblade()->data.bcp, &nb.data.bcp, sizeof nb.data.bcp));
    third->release();
}

// A dump that runs out of room (here the file size limit, EFBIG): each file
// that could not be written whole is removed and named in the log.
TEST(SignalMgr, AFileThatCannotBeWrittenWholeIsRemovedAndNamed) {
    for (bool asXml : {false, true}) {
        ScratchDir dir;
        Filler f(23);
        RingProvider p;
        const int32_t t0 = 1796558400;
        add(p, fullSnapshot(t0, f, 1));
        SignalMgr mgr;
        mgr.configure(&p, dir.path().c_str(), asXml, false);
        struct rlimit old;
        getrlimit(RLIMIT_FSIZE, &old);
        struct rlimit small = old;
        const size_t limit = asXml ? 4096 : 1024;
        small.rlim_cur = limit;
        void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
        LogLines log;
        setrlimit(RLIMIT_FSIZE, &small);
        mgr._dumpSnapshots();
        setrlimit(RLIMIT_FSIZE, &old);
        signal(SIGXFSZ, oldHandler);
        std::string d0 = dir.file("tolmstats/" + stampName(t0));
        int missing = 0;
        for (const char* base : {"nblade", "dblade", "lp", "fcd", "mgmtproc"}) {
            std::string name = std::string(base) + (asXml ? ".xml" : "");
            std::string path = d0 + "/" + name;
            if (exists(path)) {
                EXPECT_LE(readFile(path).size(), limit) << name;
                EXPECT_EQ(0, log.count(path)) << name;
            } else {
                missing++;
                EXPECT_EQ(1, log.count("Failed to write dump file '" + path + "': File too large (27)"))
                    << name;
            }
        }
        EXPECT_GE(missing, 1) << (asXml ? "xml" : "binary") << ": every file fitted";
        EXPECT_LE(missing, 4) << (asXml ? "xml" : "binary") << ": no file fitted";
        EXPECT_EQ(missing, static_cast<int>(log.lines.size()));
    }
}

}  // namespace
