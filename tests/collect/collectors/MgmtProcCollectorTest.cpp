// The management-process collector: the status-file tokenizer, the process
// scan over a fake proc tree, and the simulated processes on the real /proc.

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "MgmtProcStatsCollector.h"
#include "ProcSet.h"
#include "RecordTestUtil.h"
#include "SimMgmtProcs.h"
#include "TokenSetParser.h"

namespace {

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

// A status file in the kernel's layout with distinct figures from `base`.
std::string status(const std::string& name, uint32_t base, bool withLock = true) {
    std::string s = "Name:\t" + name + "\nUmask:\t0022\nState:\tS (sleeping)\nPid:\t1\nPPid:\t" +
                    std::to_string(base + 9) + "\n";
    s += "VmPeak:\t   99999 kB\nVmSize:\t  " + std::to_string(base + 1) + " kB\n";
    if (withLock) s += "VmLck:\t       " + std::to_string(base + 2) + " kB\n";
    s += "VmHWM:\t 88888 kB\nVmRSS:\t " + std::to_string(base + 3) + " kB\n";
    s += "VmData:\t " + std::to_string(base + 4) + " kB\nVmStk:\t " + std::to_string(base + 5) +
         " kB\nVmExe:\t " + std::to_string(base + 6) + " kB\nVmLib:\t " +
         std::to_string(base + 7) + " kB\nThreads:\t1\n";
    return s;
}

void addProcess(const ScratchDir& root, const std::string& entry, const std::string& text) {
    mkdir(root.file(entry).c_str(), 0755);
    writeText(root.file(entry + "/status"), text);
}

proc_stats_t figures(uint32_t base, bool withLock = true) {
    return proc_stats_t{base + 1, withLock ? base + 2 : 0, base + 3, base + 4,
                        base + 5, base + 6, base + 7};
}

bool operator==(const proc_stats_t& a, const proc_stats_t& b) {
    return memcmp(&a, &b, sizeof(a)) == 0;
}

}  // namespace

TEST(TokenSetParser, KeysValuesAndBufferGrowth) {
    ScratchDir dir;
    TokenSetParser parser;
    EXPECT_EQ(parser.parse(dir.file("none").c_str()), nullptr);

    writeText(dir.file("empty"), "");
    std::unique_ptr<TokenSet> set(parser.parse(dir.file("empty").c_str()));
    ASSERT_NE(set, nullptr);
    EXPECT_EQ(set->size(), 0u);

    // A key with two values, a key met again replacing the first, blanks and
    // tabs alike, and a last token without a delimiter dropped.
    writeText(dir.file("s"), "VmSize:\t 1234 kB\nName:  a b\nName: c\nLast: 5 six");
    set.reset(parser.parse(dir.file("s").c_str()));
    ASSERT_NE(set->get("VmSize:"), nullptr);
    EXPECT_EQ(*set->get("VmSize:"), (std::vector<std::string>{"1234", "kB"}));
    EXPECT_EQ(*set->get(std::string("Name:")), std::vector<std::string>{"c"});
    EXPECT_EQ(*set->get("Last:"), std::vector<std::string>{"5"});
    EXPECT_EQ(set->get("Missing:"), nullptr);

    // A file several times the initial buffer parses intact.
    std::string big;
    for (int i = 0; i < 200; i++) big += "Key" + std::to_string(i) + ":\t" + std::to_string(i) + "\n";
    ASSERT_GT(big.size(), 2048u);
    writeText(dir.file("big"), big);
    set.reset(parser.parse(dir.file("big").c_str()));
    EXPECT_EQ(set->size(), 200u);
    EXPECT_EQ(*set->get("Key199:"), std::vector<std::string>{"199"});
    EXPECT_EQ(*set->get("Key0:"), std::vector<std::string>{"0"});
    EXPECT_GE(parser.capacity(), static_cast<int32_t>(big.size()));
}

// scan gives each key's first value exactly as parse and get do, for texts
// that test every rule: a key met again, a key line without values, blanks
// and tabs, a key that is also a value elsewhere, the last token without a
// delimiter (dropped, and a key dropped that way leaves the earlier line),
// and real status files of this machine.
TEST(TokenSetParser, ScanAgreesWithParse) {
    ScratchDir dir;
    std::vector<std::string> texts = {
        "",
        "Name:\ta b\nVmSize:\t 12 kB\nName: c\n",
        "Name:\nVmRSS: 5 kB\nPPid:\t\t7\n",
        "VmRSS: Name: 3\n  VmLck:   9 \n\n\nVmLck:\n",
        "Name: x\nVmSize: 1 kB\nVmSize: 2",
        "Name: x\nVmSize: 1 kB\nVmSize:",
        "Name: x\nVmSize: 1 kB\nVmSize: 3 kB",
        "PPid: 4294967296\nVmExe: -1 kB\nVmLib: 0x10 kB\nVmStk: 12abc kB\n",
    };
    for (const char* self : {"/proc/self/status", "/proc/1/status"}) {
        std::ifstream in(self);
        texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    const char* const keys[] = {"Name:", "PPid:", "VmSize:", "VmLck:", "VmRSS:",
                                "VmData:", "VmStk:", "VmExe:", "VmLib:", "Missing:"};
    constexpr size_t n = sizeof keys / sizeof keys[0];
    TokenSetParser parser;
    for (size_t t = 0; t < texts.size(); t++) {
        writeText(dir.file("s"), texts[t]);
        std::unique_ptr<TokenSet> set(parser.parse(dir.file("s").c_str()));
        ASSERT_NE(set, nullptr);
        TokenSetParser::FirstValue values[n];
        ASSERT_TRUE(parser.scan(dir.file("s").c_str(), keys, n, values));
        for (size_t k = 0; k < n; k++) {
            const std::vector<std::string>* v = set->get(keys[k]);
            EXPECT_EQ(v != nullptr, values[k].found) << "text " << t << ", " << keys[k];
            std::string first = v && !v->empty() ? (*v)[0] : std::string();
            std::string scanned = values[k].token ? std::string(values[k].token, values[k].length)
                                                  : std::string();
            EXPECT_EQ(first, scanned) << "text " << t << ", " << keys[k];
            EXPECT_EQ(v && !v->empty(), values[k].token != nullptr);
        }
    }
    TokenSetParser::FirstValue none[1];
    EXPECT_FALSE(parser.scan(dir.file("gone").c_str(), keys, 1, none));
}

TEST(MgmtProcCollector, FindsTheFiveByExactNameInAFakeProcTree) {
    ScratchDir root;
    addProcess(root, "100", status("Tomcat", 1000));
    addProcess(root, "200", status("vldb", 2000));
    addProcess(root, "210", status("vldb", 2100));
    // A kernel-thread-like status without VmLck.
    addProcess(root, "300", status("hamgr", 3000, false));
    // Not a process directory; a name in lower case; an unreadable status.
    addProcess(root, "12abc", status("tolmauthd", 9000));
    addProcess(root, "self", status("tolmauthd", 9100));
    addProcess(root, "400", status("tomcat", 4000));
    mkdir(root.file("500").c_str(), 0755);
    // The daemon's own entry, its status ending without a newline: the last
    // line's final token is lost, the rest stays.
    addProcess(root, "600", "Name:\ttolmstatsd\nVmSize:\t 601 kB\nVmRSS:\t 603");
    addProcess(root, "700", status("tolmauthd", 7000));

    // Which vldb comes later in the listing decides which one is kept.
    std::string laterVldb;
    DIR* d = opendir(root.path().c_str());
    while (dirent* e = readdir(d))
        if (std::string(e->d_name) == "200" || std::string(e->d_name) == "210") laterVldb = e->d_name;
    closedir(d);

    TokenSetParser parser;
    ProcSet procs(parser, root.path());
    EXPECT_EQ(procs.size(), 7u) << "100, 200, 210, 300, 400, 600, 700";
    ASSERT_NE(procs.get("vldb"), nullptr);
    EXPECT_EQ(procs.get("vldb")->pid, static_cast<uint32_t>(std::stoul(laterVldb)));
    EXPECT_EQ(procs.get("Tomcat")->ppid, 1009u);
    EXPECT_EQ(procs.get("tomcat")->pid, 400u);

    std::unique_ptr<MgmtProcStats> rec(MgmtProcStatsCollector::collect(root.path().c_str()));
    EXPECT_EQ(rec->data.version, 1u);
    EXPECT_GT(rec->data.timestampCreated, 0);
    EXPECT_TRUE(rec->data.tomcat == figures(1000)) << "the lower-case tomcat is not Tomcat";
    EXPECT_TRUE(rec->data.vldb == figures(laterVldb == "200" ? 2000 : 2100));
    EXPECT_TRUE(rec->data.hamgr == figures(3000, false));
    EXPECT_TRUE(rec->data.tolmauthd == figures(7000));
    EXPECT_TRUE(rec->data.tolmstatsd == (proc_stats_t{601, 0, 0, 0, 0, 0, 0}));

    // Figures of 2^32 kB or more saturate as a 32-bit strtoul has them.
    addProcess(root, "700", "Name:\ttolmauthd\nVmSize:\t4294967296 kB\nVmRSS:\t99999999999 kB\n"
                            "VmData:\t4294967295 kB\n");
    rec.reset(MgmtProcStatsCollector::collect(root.path().c_str()));
    EXPECT_EQ(rec->data.tolmauthd.vmsize, 0xFFFFFFFFu);
    EXPECT_EQ(rec->data.tolmauthd.vmrss, 0xFFFFFFFFu);
    EXPECT_EQ(rec->data.tolmauthd.vmdata, 0xFFFFFFFFu);

    // No proc root at all: only the header.
    rec.reset(MgmtProcStatsCollector::collect(root.file("gone").c_str()));
    EXPECT_EQ(rec->data.version, 1u);
    EXPECT_TRUE(rec->data.tomcat == proc_stats_t{});
    EXPECT_TRUE(rec->data.tolmstatsd == proc_stats_t{});
}

// Other processes of the machine may carry the same names (a simulated node
// of another test, for one), so the children are checked by their ids.
TEST(MgmtProcCollector, SimulatedProcessesOnTheRealProc) {
    ASSERT_TRUE(SimMgmtProcs::start());
    std::vector<uint32_t> pids;
    for (int i = 0; i < SimMgmtProcs::kCount; i++) pids.push_back(SimMgmtProcs::pid(i));
    TokenSetParser parser;
    {
        ProcSet procs(parser);
        for (int i = 0; i < SimMgmtProcs::kCount; i++) {
            const _ProcInfo* p = procs.byPid(pids[i]);
            ASSERT_NE(p, nullptr) << SimMgmtProcs::kNames[i];
            EXPECT_EQ(p->name, SimMgmtProcs::kNames[i]);
            EXPECT_EQ(p->ppid, static_cast<uint32_t>(getpid()));
            // Each holds (index + 1) MiB of touched memory.
            EXPECT_GE(p->stats.vmrss, (i + 1) * 1024u) << p->name;
            EXPECT_GE(p->stats.vmsize, p->stats.vmrss);
            EXPECT_GT(p->stats.vmstack, 0u);
        }
    }
    std::unique_ptr<MgmtProcStats> rec(MgmtProcStatsCollector::collect());
    SimMgmtProcs::stop();
    EXPECT_GT(rec->data.tomcat.vmrss, 0u);
    EXPECT_GT(rec->data.vldb.vmrss, 0u);
    EXPECT_GT(rec->data.hamgr.vmrss, 0u);
    EXPECT_GT(rec->data.tolmauthd.vmrss, 0u);

    ProcSet after(parser);
    for (uint32_t pid : pids) EXPECT_EQ(after.byPid(pid), nullptr) << "still running: " << pid;
}
