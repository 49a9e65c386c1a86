// Writing and reading back a mebibyte through TolmFile against the simulated
// D-blade on the loopback (over Rf, through the simulated VLDB and DLDB),
// against writing and reading the same bytes in the backing directory
// directly, in the same run; and the Rf calls per KiB.
//
// tests/netns-run build/rel/bench/tolmFsLib/bench_volume

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "NodeSim.h"
#include "TolmErr.h"
#include "TolmFile.h"
#include "TolmVldb.h"

namespace {

constexpr size_t kBytes = 1 << 20;

std::string g_work;
TolmVldb g_vldb;
tolm_fid_t g_root;
std::vector<uint8_t> g_data(kBytes);

std::unique_ptr<NodeSim> g_node;

bool startSim() {
    char pattern[] = "/tmp/bench-volume.XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return false;
    g_work = pattern;
    mkdir((g_work + "/vol").c_str(), 0755);
    mkdir((g_work + "/local").c_str(), 0755);
    g_node = std::make_unique<NodeSim>(g_work, std::vector<std::string>{}, false);
    if (!g_node->ready())
        return false;
    uint32_t id = 0;
    if (g_vldb.create("localhost", "localhost", 0) != 0 ||
        g_vldb.getDbladeLockHeld("tolm.stats_", &id, 0) != 0)
        return false;
    g_root = tolm_fid_t{id, TOLM_INO_ROOT, 0};
    for (size_t i = 0; i < kBytes; i++)
        g_data[i] = static_cast<uint8_t>(i * 31 + 7);
    return true;
}

void stopSim() {
    g_vldb.destroy();
    g_node.reset();
    system(("rm -rf " + g_work).c_str());
}

uint32_t g_calls = 0;

// One mebibyte written into a fresh file and read back through the library.
void throughLibrary() {
    TolmFile file(&g_vldb);
    tolm_fid_t fid;
    file.remove(&g_root, "bench", nullptr);
    tolm_set_attr_t set = {};
    set.how = TOLM_SET_MODE;
    set.mode = 0644;
    uint32_t st = file.create(&g_root, "bench", &set, TOLM_CREATE_DEFAULT, &fid, nullptr, 0);
    if (st == 0)
        st = file.write(&fid, 0, kBytes, g_data.data(), nullptr);
    std::vector<uint8_t> back(kBytes);
    uint64_t got = 0;
    if (st == 0)
        st = file.read(&fid, 0, kBytes, 0, &got, back.data(), nullptr);
    if ((st != 0 && st != TOLM_ERR_END_OF_FILE) || got != kBytes || back != g_data) {
        fprintf(stderr, "bench_volume: %s (0x%07x)\n", TolmErr::tolmFsLibError(st), st);
        exit(1);
    }
    g_calls = file.callsMade();
}

// The same bytes written into the backing directory and read back directly.
void direct() {
    std::string path = g_work + "/vol/direct";
    unlink(path.c_str());
    int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    for (size_t off = 0; off < kBytes; off += 8192)
        pwrite(fd, g_data.data() + off, 8192, off);
    close(fd);
    std::vector<uint8_t> back(kBytes);
    fd = open(path.c_str(), O_RDONLY);
    for (size_t off = 0; off < kBytes; off += 8192)
        pread(fd, back.data() + off, 8192, off);
    close(fd);
    benchmark::DoNotOptimize(back.data());
}

void BM_TolmFileMebibyte(benchmark::State& state) {
    for (auto _ : state)
        throughLibrary();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kBytes));
    state.counters["rf_calls_per_KiB"] = static_cast<double>(g_calls) / (kBytes / 1024);
}
BENCHMARK(BM_TolmFileMebibyte)->Unit(benchmark::kMillisecond);

void BM_DirectMebibyte(benchmark::State& state) {
    for (auto _ : state)
        direct();
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * 2 * kBytes));
}
BENCHMARK(BM_DirectMebibyte)->Unit(benchmark::kMillisecond);

template <typename F>
double seconds(F f, int rounds) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; i++)
        f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / rounds;
}

// Three runs of each, side by side: min, median, max of the ratio.
void ratios() {
    std::vector<double> r;
    for (int i = 0; i < 3; i++)
        r.push_back(seconds(throughLibrary, 5) / seconds(direct, 5));
    std::sort(r.begin(), r.end());
    printf(
        "\nmebibyte write + read through TolmFile / direct: min %.1f median %.1f max %.1f; "
        "Rf calls per KiB %.3f\n",
        r[0], r[1], r[2], static_cast<double>(g_calls) / (kBytes / 1024));
}

}  // namespace

int main(int argc, char** argv) {
    if (!getenv("TOLM_NETNS_ACTIVE")) {
        fprintf(stderr, "run me in a private namespace: tests/netns-run %s\n", argv[0]);
        return 2;
    }
    if (!startSim()) {
        fprintf(stderr, "bench_volume: the simulated node did not start\n");
        stopSim();
        return 1;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    ratios();
    stopSim();
    return 0;
}
