// One storage-pool collection of 4 pools x 300 volumes (3 pools online: 900
// volumes, 1 + 4 + 3 x 2 + 900 + 1 calls) against the simulated services, as
// a ratio to the same number of bare NULL calls on one kept client handle, in
// the same run. The services register with the portmapper, so the program
// runs in a private network namespace:
//   tests/netns-run build/rel/bench/collect/collectors/storage/bench_storage

#include <benchmark/benchmark.h>
#include <rpc/rpc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "LpStatsSetCollector.h"
#include "SimServiceLoop.h"
#include "SimStorageNode.h"
#include "lpm.h"

namespace {

const timeval kTimeout = {25, 0};
size_t g_calls = 0;

xdrproc_t xdrVoid() { return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(xdr_void)); }

// The calls one collection makes, counted from the simulator's log.
size_t callsOfOneCollection() {
    SimStorageNode::clearLog();
    std::unique_ptr<LpStatsSet> set(LpStatsSetCollector::collect());
    SimStorageNode::Log log = SimStorageNode::log();
    return log.poolListArgs.size() + log.poolStatsUuids.size() + log.vfsLists.size() +
           log.volStats.size();
}

void nullCalls(CLIENT* c, size_t n) {
    for (size_t i = 0; i < n; i++)
        if (clnt_call(c, NULLPROC, xdrVoid(), nullptr, xdrVoid(), nullptr, kTimeout) !=
            RPC_SUCCESS)
            abort();
}

void BM_LpCollection(benchmark::State& state) {
    for (auto _ : state) {
        std::unique_ptr<LpStatsSet> set(LpStatsSetCollector::collect());
        benchmark::DoNotOptimize(set->size());
    }
    state.counters["calls"] = static_cast<double>(g_calls);
}
BENCHMARK(BM_LpCollection)->Unit(benchmark::kMillisecond);

void BM_NullCalls(benchmark::State& state) {
    CLIENT* c = clnt_create("localhost", LPM_PROGRAM, LPM_VERSION, "tcp");
    for (auto _ : state) nullCalls(c, g_calls);
    clnt_destroy(c);
}
BENCHMARK(BM_NullCalls)->Unit(benchmark::kMillisecond);

template <typename F>
double seconds(F f, int rounds) {
    auto t0 = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; i++) f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() / rounds;
}

}  // namespace

int main(int argc, char** argv) {
    if (!getenv("TOLM_NETNS_ACTIVE")) {
        fprintf(stderr, "run me in a private namespace: tests/netns-run %s\n", argv[0]);
        return 2;
    }
    SimStorageConfig config;
    config.pools = 4;
    config.vfsPerPool = 300;
    config.fcd = false;
    if (!SimStorageNode::start(config)) {
        fprintf(stderr, "cannot register the simulated services\n");
        return 1;
    }
    std::unique_ptr<SimServiceLoop> loop(new SimServiceLoop());
    g_calls = callsOfOneCollection();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    double collection = seconds([] { std::unique_ptr<LpStatsSet> s(LpStatsSetCollector::collect()); }, 10);
    CLIENT* c = clnt_create("localhost", LPM_PROGRAM, LPM_VERSION, "tcp");
    double bare = seconds([c] { nullCalls(c, g_calls); }, 10);
    clnt_destroy(c);
    printf("LP collection, 4 pools x 300 volumes (%zu calls): %.2f ms; %zu NULL calls on one "
           "handle: %.2f ms; ratio %.2f\n",
           g_calls, collection * 1e3, g_calls, bare * 1e3, collection / bare);
    loop.reset();
    SimStorageNode::stop();
    return 0;
}
