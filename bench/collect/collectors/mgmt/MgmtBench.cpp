// One management-process collection on this machine's /proc against a plain
// loop that reads every /proc/PID/status once, in the same run.

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "MgmtProcStatsCollector.h"

namespace {

size_t readEveryStatus() {
    char buf[4096];
    size_t bytes = 0;
    DIR* d = opendir("/proc");
    while (dirent* e = readdir(d)) {
        char* end = nullptr;
        strtoul(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0') continue;
        std::string path = std::string("/proc/") + e->d_name + "/status";
        int fd = open(path.c_str(), O_RDONLY);
        if (fd < 0) continue;
        ssize_t n;
        while ((n = read(fd, buf, sizeof(buf))) > 0) bytes += static_cast<size_t>(n);
        close(fd);
    }
    closedir(d);
    return bytes;
}

void BM_PlainStatusReads(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(readEveryStatus());
}
BENCHMARK(BM_PlainStatusReads)->Unit(benchmark::kMicrosecond);

void BM_MgmtCollect(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<MgmtProcStats> rec(MgmtProcStatsCollector::collect());
        benchmark::DoNotOptimize(rec->data.tolmstatsd.vmrss);
    }
}
BENCHMARK(BM_MgmtCollect)->Unit(benchmark::kMicrosecond);

template <typename F>
double seconds(F f, int rounds) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; i++) f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    double collect = seconds([] { std::unique_ptr<MgmtProcStats> r(MgmtProcStatsCollector::collect()); }, 200);
    double plain = seconds([] { readEveryStatus(); }, 200);
    int procs = 0;
    DIR* d = opendir("/proc");
    while (dirent* e = readdir(d)) procs += e->d_name[0] >= '1' && e->d_name[0] <= '9';
    closedir(d);
    printf("collect() over %d processes: %.1f us; plain read of every status file: %.1f us; "
           "ratio %.2f\n",
           procs, collect * 1e6, plain * 1e6, collect / plain);
    return 0;
}
