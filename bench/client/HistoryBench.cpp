// Reading a persisted history back: `tolmstat csv nblade` over N snapshots
// of the statistics volume against bare TolmFile reads of the same N files,
// and over a dump tree against cat of the same files, each pair in the same
// run; and the cost per snapshot for 10, 336 (a week of 30-minute persists)
// and 3000 snapshots.
//
// tests/netns-run build/rel/bench/client/bench_history

#include <benchmark/benchmark.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "CsvView.h"
#include "FileSerializer.h"
#include "NodeSim.h"
#include "RecordFiles.h"
#include "RecordTestUtil.h"
#include "RecordValues.h"
#include "StampName.h"
#include "TolmDir.h"
#include "TolmFile.h"
#include "TolmVldb.h"
#include "VolumeSource.h"
#include "WholeRecord.h"

namespace {

constexpr int kSizes[] = {10, 336, 3000};
const std::vector<std::string> kFields = {"cifs.TolmGetAttr", "cifs.TolmRead"};
std::string g_work;
std::unique_ptr<NodeSim> g_node;

std::string hostOf(int n) {
    return "h" + std::to_string(n);
}
std::string dumpOf(int n) {
    return g_work + "/dump" + std::to_string(n);
}

// One snapshot of all five records, as small as a node of one pool and two
// disks makes them, all created at `t`.
Snapshot* makeSnapshot(int32_t t, Filler& f) {
    auto* nb = new NbladeStats();
    fillNblade(*nb, f);
    nb->data.timestampCreated = t;
    auto* db = new DbladeStats();
    fillDblade(*db, f);
    db->data.timestampCreated = t;
    auto* lps = new LpStatsSet();
    fillLpSetData(*lps, f);
    lps->addLpStats(makeLp(f, "pool0", 4));
    lps->data.timestampCreated = t;
    auto* fcd = new FcdStats();
    fillFcdData(*fcd, f);
    fcd->addDiskStats(makeDisk(f));
    fcd->addDiskStats(makeDisk(f));
    fcd->data.timestampCreated = t;
    auto* mg = new MgmtProcStats();
    fillMgmt(*mg, f);
    mg->data.timestampCreated = t;
    return new Snapshot(t, nb, db, lps, fcd, mg);
}

void writeSnapshot(Snapshot* s, const std::string& dir) {
    mkdir(dir.c_str(), 0755);
    forEachRecordFile(s, [&](auto& rec, const char* name, const char*, const char*) {
        FileSerializer out((dir + "/" + name).c_str());
        Serializer& ser = out;
        serializeWhole(rec, ser);
        out.close();
    });
}

// N snapshots 30 minutes apart, both as the volume's host directory hN and
// as the dump tree dumpN/tolmstats.
void makeTrees() {
    Filler f(5);
    const int32_t t0 = 1796000000;
    for (int n : kSizes) {
        std::string host = g_work + "/vol/" + hostOf(n);
        mkdir(host.c_str(), 0755);
        mkdir(dumpOf(n).c_str(), 0755);
        mkdir((dumpOf(n) + "/tolmstats").c_str(), 0755);
        for (int i = 0; i < n; i++) {
            int32_t t = t0 + 1800 * i;
            Snapshot* s = makeSnapshot(t, f);
            writeSnapshot(s, host + "/" + stampName(t));
            writeSnapshot(s, dumpOf(n) + "/tolmstats/" + stampName(t));
            s->release();
        }
    }
}

// What `tolmstat --archive --node hN csv nblade FIELD...` does, in process:
// the volume located through the VLDB, its window read, the table made.
size_t archiveCsv(int n) {
    VolumeSource::Where where;
    where.node = hostOf(n);
    VolumeSource source(where);
    std::vector<CsvSample> samples;
    for (HistoryEntry& e : source.window(RecordType::Nblade, 0, 0xFFFFFFFFu)) {
        RecordValues v(kFields);
        e.record->visit(v);
        samples.push_back(CsvSample{e.stamp, std::move(v.values)});
    }
    std::string table = csvTable(kFields, samples, false);
    if (samples.size() != static_cast<size_t>(n)) {
        fprintf(stderr, "bench_history: %zu of %d snapshots read\n", samples.size(), n);
        exit(1);
    }
    return table.size();
}

// The same files read whole with the client library and nothing else: the
// volume located the same way, the host directory listed, each snapshot's
// "nblade" looked up and read.
size_t bareReads(int n) {
    TolmVldb vldb;
    uint32_t vfsId = 0;
    if (vldb.create("localhost", "localhost", 0) != 0)
        exit(1);
    vldb.setLocalCaching(true);
    if (vldb.getDbladeLockHeld("tolm.stats_", &vfsId, 0) != 0)
        exit(1);
    size_t bytes = 0;
    {
        TolmFile file(&vldb);
        TolmDir dir(&vldb);
        tolm_fid_t root{vfsId, TOLM_INO_ROOT, 0}, host;
        char* link = nullptr;
        if (file.lookup(&root, hostOf(n).c_str(), &link, &host) != 0)
            exit(1);
        free(link);
        struct Ctx {
            std::vector<tolm_fid_t> dirs;
            uint32_t vfs;
        } ctx{{}, vfsId};
        uint32_t count = 0;
        dir.readDir(
            &host, 0, &count, nullptr,
            [](void* arg, const char* name, uint32_t inode, uint32_t uniq, uint32_t) {
                if (name[0] != '.')
                    static_cast<Ctx*>(arg)->dirs.push_back(
                        tolm_fid_t{static_cast<Ctx*>(arg)->vfs, inode, uniq});
                return 0;
            },
            &ctx);
        std::vector<uint8_t> buf(65536);
        for (const tolm_fid_t& d : ctx.dirs) {
            tolm_fid_t fid;
            link = nullptr;
            if (file.lookup(&d, "nblade", &link, &fid) != 0)
                exit(1);
            free(link);
            for (uint64_t offset = 0;;) {
                uint64_t got = 0;
                uint32_t st = file.read(&fid, offset, buf.size(), 0, &got, buf.data(), nullptr);
                offset += got;
                if (st != 0 || got < buf.size())
                    break;
            }
            bytes += buf[0];
        }
        if (ctx.dirs.size() != static_cast<size_t>(n))
            exit(1);
    }
    vldb.destroy();
    return bytes;
}

// Runs a command with its output thrown away; exits on failure.
void run(const std::vector<std::string>& args) {
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        freopen("/dev/null", "w", stdout);
        std::vector<char*> argv;
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fprintf(stderr, "bench_history: %s failed (status %d)\n", args[0].c_str(), status);
        exit(1);
    }
}

std::vector<std::string> tolmstatCsv(int n, bool archive) {
    std::vector<std::string> a = {TOLMSTAT_PATH};
    if (archive) {
        a.insert(a.end(), {"--archive", "--node", hostOf(n)});
    } else {
        a.insert(a.end(), {"--dir", dumpOf(n)});
    }
    a.insert(a.end(), {"csv", "nblade"});
    a.insert(a.end(), kFields.begin(), kFields.end());
    return a;
}

std::vector<std::string> catFiles(int n) {
    std::vector<std::string> a = {"cat"};
    std::string tree = dumpOf(n) + "/tolmstats/";
    const int32_t t0 = 1796000000;
    for (int i = 0; i < n; i++)
        a.push_back(tree + stampName(t0 + 1800 * i) + "/nblade");
    return a;
}

void BM_ArchiveCsv(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(archiveCsv(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_ArchiveCsv)->Arg(336)->Unit(benchmark::kMillisecond);
void BM_BareTolmFileReads(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(bareReads(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_BareTolmFileReads)->Arg(336)->Unit(benchmark::kMillisecond);
void BM_TolmstatDirCsv(benchmark::State& state) {
    for (auto _ : state)
        run(tolmstatCsv(static_cast<int>(state.range(0)), false));
}
BENCHMARK(BM_TolmstatDirCsv)->Arg(336)->Unit(benchmark::kMillisecond);
void BM_CatFiles(benchmark::State& state) {
    for (auto _ : state)
        run(catFiles(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_CatFiles)->Arg(336)->Unit(benchmark::kMillisecond);

template <typename F>
double seconds(F f, int rounds) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; i++)
        f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / rounds;
}

// min, median, max of three
void printThree(const char* what, std::vector<double> v, const char* unit, double scale) {
    std::sort(v.begin(), v.end());
    printf("%s: min %.3g median %.3g max %.3g%s\n", what, v[0] * scale, v[1] * scale, v[2] * scale,
           unit);
}

void ratios() {
    for (int n : kSizes) {
        int rounds = n >= 3000 ? 1 : n >= 336 ? 3 : 20;
        std::vector<double> volume, bare, command, dir, cat;
        for (int i = 0; i < 3; i++) {
            volume.push_back(seconds([&] { archiveCsv(n); }, rounds));
            bare.push_back(seconds([&] { bareReads(n); }, rounds));
            command.push_back(seconds([&] { run(tolmstatCsv(n, true)); }, rounds));
            dir.push_back(seconds([&] { run(tolmstatCsv(n, false)); }, rounds));
            cat.push_back(seconds([&] { run(catFiles(n)); }, rounds));
        }
        printf("-- %d snapshots\n", n);
        std::vector<double> r1, r2;
        for (int i = 0; i < 3; i++) {
            r1.push_back(volume[i] / bare[i]);
            r2.push_back(dir[i] / cat[i]);
        }
        printThree("  volume csv / bare TolmFile reads", r1, "x", 1);
        printThree("  tolmstat --archive csv (the command)", command, " s", 1);
        printThree("  volume csv per snapshot", volume, " ms", 1000.0 / n);
        printThree("  bare reads per snapshot", bare, " ms", 1000.0 / n);
        printThree("  tolmstat --dir csv / cat (both commands)", r2, "x", 1);
        printThree("  tolmstat --dir csv per snapshot", dir, " ms", 1000.0 / n);
        printThree("  cat per snapshot", cat, " ms", 1000.0 / n);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!getenv("TOLM_NETNS_ACTIVE")) {
        fprintf(stderr, "run me in a private namespace: tests/netns-run %s\n", argv[0]);
        return 2;
    }
    char pattern[] = "/tmp/bench-history.XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    g_work = pattern;
    mkdir((g_work + "/vol").c_str(), 0755);
    makeTrees();
    g_node = std::make_unique<NodeSim>(g_work, std::vector<std::string>{}, false);
    if (!g_node->ready()) {
        fprintf(stderr, "bench_history: the simulated node did not start\n");
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (!getenv("NORATIOS"))
        ratios();
    g_node.reset();
    if (getenv("KEEP"))
        printf("trees kept in %s\n", g_work.c_str());
    else
        system(("rm -rf " + g_work).c_str());
    return 0;
}
