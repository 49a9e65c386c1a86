// The daemon's CPU for one whole collection (the five collectors of a
// snapshot: fourteen N-blade files and the stream service, the D-blade block,
// the storage and FCD services, the process scan) against the simulated node,
// beside sysstat's sadc taking one sample of the system into a file,
// process start included: the nearest common tool that does a comparable job.
// Three runs of each; the figures are CPU time (user + system) per sample.
//   bench_collect [COLLECTIONS [--no-sadc]]   (default 2000; run inside tests/netns-run)
// It starts tolmnodesim itself and runs again under the preload library that
// redirects the daemon's kernel files to the simulator's.

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "LocalRpcClient.h"
#include "SimulatedNode.h"
#include "Snapshot.h"

namespace {

double cpuSeconds(int who) {
    rusage u;
    getrusage(who, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double userSeconds() {
    rusage u;
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6;
}


const char* findSadc() {
    for (const char* p : {"/usr/lib/sysstat/sadc", "/usr/lib64/sa/sadc", "/usr/lib/sa/sadc"})
        if (access(p, X_OK) == 0)
            return p;
    return nullptr;
}

// CPU per one-shot sadc run (its own and its process start's), in ms.
double sadcMs(const char* sadc, int runs) {
    double before = cpuSeconds(RUSAGE_CHILDREN);
    for (int i = 0; i < runs; i++) {
        pid_t p = fork();
        if (p == 0) {
            unsetenv("LD_PRELOAD");
            execl(sadc, sadc, "1", "1", "/tmp/tolmcollect.sa", nullptr);
            _exit(127);
        }
        int status;
        waitpid(p, &status, 0);
        unlink("/tmp/tolmcollect.sa");
    }
    return (cpuSeconds(RUSAGE_CHILDREN) - before) * 1000 / runs;
}

}  // namespace

int main(int argc, char** argv) {
    underSimulatedNode(argv, nullptr);
    int total = argc > 1 ? std::stoi(argv[1]) : 2000;
    prepareRpcClients();
    // Settle the caches and the allocator.
    for (int i = 0; i < 50; i++)
        (new Snapshot())->release();
    std::vector<double> ours, user;
    for (int run = 0; run < 3; run++) {
        double before = cpuSeconds(RUSAGE_SELF);
        double userBefore = userSeconds();
        for (int i = 0; i < total; i++) {
            Snapshot* s = new Snapshot();
            s->release();
        }
        ours.push_back((cpuSeconds(RUSAGE_SELF) - before) * 1000 / total);
        user.push_back((userSeconds() - userBefore) * 1000 / total);
    }
    std::sort(ours.begin(), ours.end());
    std::sort(user.begin(), user.end());
    printf(
        "whole collection, daemon CPU per snapshot: %.3f / %.3f / %.3f ms (min / median / max "
        "of 3 runs of %d)\n",
        ours[0], ours[1], ours[2], total);
    // The rest is the kernel's: the system calls of the reads and the RPC calls.
    printf("  of which in user space: %.3f / %.3f / %.3f ms\n", user[0], user[1], user[2]);
    bool withSadc = !(argc > 2 && std::string(argv[2]) == "--no-sadc");
    if (const char* sadc = withSadc ? findSadc() : nullptr) {
        std::vector<double> theirs;
        for (int run = 0; run < 3; run++)
            theirs.push_back(sadcMs(sadc, 200));
        std::sort(theirs.begin(), theirs.end());
        printf(
            "sadc 1 1 FILE, CPU per one-shot sample (process start included): %.3f / %.3f / "
            "%.3f ms\n",
            theirs[0], theirs[1], theirs[2]);
        printf("ratio (median): %.2f\n", ours[1] / theirs[1]);
    } else {
        printf("sadc not found (Debian package sysstat): no comparison\n");
    }
    stopSimulatedNode();
    return 0;
}
