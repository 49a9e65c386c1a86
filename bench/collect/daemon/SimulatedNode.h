#pragma once

// The simulated node under a benchmark of the daemon's collection: the first
// run of the program starts tolmnodesim and runs the program again under the
// preload library that redirects the daemon's kernel files to the
// simulator's; the second run measures, then stops the simulator.

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

// Returns only in the second run. `simOption` is one more tolmnodesim option
// (or null).
inline void underSimulatedNode(char** argv, const char* simOption) {
    if (getenv("TOLM_SIM_ROOT") != nullptr)
        return;
    char pattern[] = "/tmp/tolmbench.XXXXXX";
    std::string root = mkdtemp(pattern);
    pid_t sim = fork();
    if (sim == 0) {
        execl(TOLMNODESIM, TOLMNODESIM, "--root", root.c_str(), simOption, nullptr);
        _exit(127);
    }
    for (int i = 0; i < 100 && access((root + "/nblade.expected").c_str(), F_OK) != 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    setenv("TOLM_SIM_ROOT", root.c_str(), 1);
    setenv("LD_PRELOAD", PRELOAD, 1);
    setenv("TOLM_BENCH_SIM_PID", std::to_string(sim).c_str(), 1);
    execv("/proc/self/exe", argv);
    perror("execv");
    exit(1);
}

// In the second run: stops the simulator and removes its files.
inline void stopSimulatedNode() {
    const char* sim = getenv("TOLM_BENCH_SIM_PID");
    if (sim == nullptr)
        return;
    kill(static_cast<pid_t>(std::stol(sim)), SIGTERM);
    waitpid(static_cast<pid_t>(std::stol(sim)), nullptr, 0);
    std::string rm = std::string("rm -rf '") + getenv("TOLM_SIM_ROOT") + "'";
    if (system(rm.c_str()) != 0) {
    }
}
