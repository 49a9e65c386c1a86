// Persisting one snapshot (the five record files, binary and XML) into the
// simulated statistics volume over Rf, against writing the same five files
// into a local directory with FileSerializer and XmlDumper in the same run;
// and the Rf calls per snapshot.
//
// tests/netns-run build/rel/bench/tolmfs/bench_persist

#include <benchmark/benchmark.h>
#include <signal.h>
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

#include "FileSerializer.h"
#include "NodeSim.h"
#include "RecordFiles.h"
#include "RecordTestUtil.h"
#include "SnapDir.h"
#include "StatsDirMgr.h"
#include "TlDirectory.h"
#include "TlSerializer.h"
#include "TlXmlRenderer.h"
#include "XmlDumper.h"

namespace {

std::string g_work;
StatsDirMgr* g_mgr = nullptr;
Snapshot* g_snapshot = nullptr;

std::unique_ptr<NodeSim> g_node;

bool startSim() {
    char pattern[] = "/tmp/bench-persist.XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return false;
    g_work = pattern;
    mkdir((g_work + "/vol").c_str(), 0755);
    mkdir((g_work + "/local").c_str(), 0755);
    g_node = std::make_unique<NodeSim>(g_work, std::vector<std::string>{}, false);
    return g_node->ready();
}

Snapshot* makeSnapshot() {
    Filler f(7);
    NbladeStats* nb = new NbladeStats();
    fillNblade(*nb, f);
    DbladeStats* db = new DbladeStats();
    fillDblade(*db, f);
    LpStatsSet* lps = new LpStatsSet();
    fillLpSetData(*lps, f);
    for (int i = 0; i < 4; i++)
        lps->addLpStats(makeLp(f, "pool" + std::to_string(i), 30));
    FcdStats* fcd = new FcdStats();
    fillFcdData(*fcd, f);
    for (int i = 0; i < 16; i++)
        fcd->addDiskStats(makeDisk(f));
    MgmtProcStats* mg = new MgmtProcStats();
    fillMgmt(*mg, f);
    return new Snapshot(1796600000, nb, db, lps, fcd, mg);
}

// What the persistence thread does with one snapshot.
void persistVolume(bool binary) {
    SnapDir* dir = g_mgr->getSnapDir();
    if (dir == nullptr) {
        fprintf(stderr, "bench_persist: no timestamp directory\n");
        exit(1);
    }
    forEachRecordFile(g_snapshot,
                      [&](auto& rec, const char* name, const char* xmlName, const char*) {
                          if (binary) {
                              TlSerializer* s = dir->getSerializer(name);
                              Serializer& out = *s;
                              serializeWhole(rec, out);
                              s->close();
                              s->cutToWritten();
                              delete s;
                          } else {
                              TlXmlRenderer* r = dir->getXmlRenderer(xmlName);
                              r->header();
                              rec.toXml(*r);
                              r->close();
                              r->cutToWritten();
                              delete r;
                          }
                      });
    delete dir;
}

void persistLocal(bool binary) {
    std::string dir = g_work + "/local/";
    forEachRecordFile(g_snapshot,
                      [&](auto& rec, const char* name, const char* xmlName, const char*) {
                          if (binary) {
                              FileSerializer s((dir + name).c_str());
                              Serializer& out = s;
                              serializeWhole(rec, out);
                              s.close();
                          } else {
                              std::string path = dir + xmlName;
                              XmlDumper d(path);
                              d.header();
                              rec.toXml(d);
                          }
                      });
}

void BM_PersistBinaryVolume(benchmark::State& state) {
    for (auto _ : state)
        persistVolume(true);
}
BENCHMARK(BM_PersistBinaryVolume)->Unit(benchmark::kMillisecond);
void BM_PersistBinaryLocal(benchmark::State& state) {
    for (auto _ : state)
        persistLocal(true);
}
BENCHMARK(BM_PersistBinaryLocal)->Unit(benchmark::kMillisecond);
void BM_PersistXmlVolume(benchmark::State& state) {
    for (auto _ : state)
        persistVolume(false);
}
BENCHMARK(BM_PersistXmlVolume)->Unit(benchmark::kMillisecond);
void BM_PersistXmlLocal(benchmark::State& state) {
    for (auto _ : state)
        persistLocal(false);
}
BENCHMARK(BM_PersistXmlLocal)->Unit(benchmark::kMillisecond);

template <typename F>
double seconds(F f, int rounds) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; i++)
        f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / rounds;
}

void ratios() {
    for (bool binary : {true, false}) {
        std::vector<double> r;
        for (int i = 0; i < 3; i++)
            r.push_back(seconds([&] { persistVolume(binary); }, 10) /
                        seconds([&] { persistLocal(binary); }, 10));
        std::sort(r.begin(), r.end());
        printf("one snapshot, %s, volume / local files: min %.1f median %.1f max %.1f\n",
               binary ? "binary" : "XML", r[0], r[1], r[2]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (!getenv("TOLM_NETNS_ACTIVE")) {
        fprintf(stderr, "run me in a private namespace: tests/netns-run %s\n", argv[0]);
        return 2;
    }
    if (!startSim()) {
        fprintf(stderr, "bench_persist: the simulated node did not start\n");
        return 1;
    }
    g_snapshot = makeSnapshot();
    g_mgr = new StatsDirMgr("tolm.stats_", 3);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ratios();
    for (bool binary : {true, false}) {
        uint32_t before = g_mgr->callsMade();
        persistVolume(binary);
        printf("Rf calls per snapshot, %s: %u\n", binary ? "binary" : "XML",
               g_mgr->callsMade() - before);
    }
    delete g_mgr;
    g_snapshot->release();
    g_node.reset();
    system(("rm -rf " + g_work).c_str());
    return 0;
}
