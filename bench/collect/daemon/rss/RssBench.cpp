// Resident memory of the daemon's collection loop over many collections: the
// real collectors (statistics files, the D-blade block, the stream, storage
// and FCD services, the process scan) against the simulated node, with no
// pause between collections (--base 0) and the default rings (10 + 10). Once
// the rings are full, the resident set must stay flat: every collection
// creates and destroys about ten RPC client handles and reads ~20 files.
//   bench_rss [COLLECTIONS]   (default 100000; run inside tests/netns-run)
// It starts tolmnodesim itself and runs again under the preload library that
// redirects the daemon's kernel files to the simulator's.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "CollectionEnv.h"
#include "CollectorConfig.h"
#include "CollectorMain.h"
#include "SimulatedNode.h"
#include "Snapshot.h"

namespace {

long residentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

class CountingEnv : public CollectionEnv {
  public:
    Snapshot* takeSnapshot() override {
        Snapshot* s = new Snapshot();
        count++;
        return s;
    }
    std::atomic<uint64_t> count{0};
};


}  // namespace

int main(int argc, char** argv) {
    underSimulatedNode(argv, "--no-mgmt");
    uint64_t total = argc > 1 ? std::stoull(argv[1]) : 100000;
    char prog[] = "bench_rss", base[] = "--base", zero[] = "0", persist[] = "--persistsamplerate",
         nodaemon[] = "--nodaemon";
    char* args[] = {prog, base, zero, persist, zero, nodaemon, nullptr};
    CollectorConfig config(6, args);
    CountingEnv env;
    CollectorMain* collector = new CollectorMain(config, &env);

    // The rings hold 20 snapshots; the first thousand collections settle the
    // allocator and the RPC library's caches.
    const uint64_t settled = total < 10000 ? total / 10 : 1000;
    uint64_t step = total / 10;
    long baseline = -1, peak = 0;
    auto start = std::chrono::steady_clock::now();
    uint64_t next = settled;
    while (env.count < total) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (env.count >= next) {
            long kb = residentKb();
            if (baseline < 0) {
                baseline = kb;
                printf("after %8llu collections: %6ld kB resident (baseline)\n",
                       static_cast<unsigned long long>(env.count.load()), kb);
                next = step;
            } else {
                printf("after %8llu collections: %6ld kB resident (%+ld kB)\n",
                       static_cast<unsigned long long>(env.count.load()), kb, kb - baseline);
                next += step;
            }
            if (kb > peak)
                peak = kb;
            fflush(stdout);
        }
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    collector->shutdown();
    collector->waitToComplete();
    delete collector;
    printf(
        "%llu collections in %.1f s (%.2f ms each); resident growth after the baseline: %ld kB "
        "(target: flat within 1024 kB)\n",
        static_cast<unsigned long long>(total), secs, secs * 1000 / total, peak - baseline);
    stopSimulatedNode();
    return 0;
}
