// One N-blade collection of the fourteen statistics files (without the two
// stream-service calls) against a plain loop that opens, reads and closes the
// same fourteen files, in the same run; and the heap allocations that one
// steady-state collection makes (the read buffers must not be reallocated
// once grown).

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "NbladeStatsCollector.h"
#include "SimNbladeFiles.h"

namespace {

std::atomic<long> g_allocations{0};

std::string g_dir;
std::vector<std::string> g_files;

void setUp() {
    if (!g_dir.empty()) return;
    char templ[] = "/tmp/tolmbench.XXXXXX";
    g_dir = mkdtemp(templ);
    SimNbladeFiles::write(g_dir, 12345);
    DIR* d = opendir(g_dir.c_str());
    while (dirent* e = readdir(d))
        if (e->d_name[0] != '.') g_files.push_back(g_dir + "/" + e->d_name);
    closedir(d);
}

void BM_PlainReadLoop(benchmark::State& state) {
    setUp();
    char buf[8192];
    for (auto _ : state) {
        for (const std::string& f : g_files) {
            int fd = open(f.c_str(), O_RDONLY);
            while (read(fd, buf, sizeof(buf)) > 0) {
            }
            close(fd);
        }
        benchmark::ClobberMemory();
    }
    state.counters["files"] = static_cast<double>(g_files.size());
}
BENCHMARK(BM_PlainReadLoop);

void BM_NbladeFilePopulate(benchmark::State& state) {
    setUp();
    NbladeStatsCollector c(g_dir + "/", "localhost");
    nblade_data_t rec;
    c.populateFiles(&rec);  // lets the buffers grow once
    long before = g_allocations.load();
    long collections = 0;
    for (auto _ : state) {
        c.populateFiles(&rec);
        benchmark::DoNotOptimize(rec.transport.numInPkts);
        collections++;
    }
    state.counters["allocs_per_collection"] =
        static_cast<double>(g_allocations.load() - before) / static_cast<double>(collections);
}
BENCHMARK(BM_NbladeFilePopulate);

}  // namespace

// Counting replacements of the global allocation functions; the pairs match,
// which GCC cannot see once they are inlined.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(size_t n) {
    g_allocations++;
    void* p = malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void* operator new[](size_t n) {
    g_allocations++;
    void* p = malloc(n ? n : 1);
    if (!p) throw std::bad_alloc();
    return p;
}
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    // The ratio of the two, from a short measurement of our own.
    setUp();
    auto timeIt = [](auto body) {
        auto t0 = std::chrono::steady_clock::now();
        for (int i = 0; i < 2000; i++) body();
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    char buf[8192];
    double plain = timeIt([&] {
        for (const std::string& f : g_files) {
            int fd = open(f.c_str(), O_RDONLY);
            while (read(fd, buf, sizeof(buf)) > 0) {
            }
            close(fd);
        }
    });
    NbladeStatsCollector c(g_dir + "/", "localhost");
    nblade_data_t rec;
    double populate = timeIt([&] { c.populateFiles(&rec); });
    printf("populate of the %zu files: %.1f us, plain open/read/close loop: %.1f us, ratio %.2f\n",
           g_files.size(), populate / 2000 * 1e6, plain / 2000 * 1e6, populate / plain);
    std::string cmd = "rm -rf " + g_dir;
    return system(cmd.c_str()) == 0 ? 0 : 1;
}
