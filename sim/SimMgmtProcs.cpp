#include "SimMgmtProcs.h"

#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>

const char* const SimMgmtProcs::kNames[kCount] = {"Tomcat", "vldb", "hamgr", "tolmauthd"};

namespace {

pid_t g_pids[SimMgmtProcs::kCount];

// The child's whole life: only system calls after the fork.
[[noreturn]] void child(int index, pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(0);
    prctl(PR_SET_NAME, SimMgmtProcs::kNames[index]);
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_IGN);
    size_t bytes = static_cast<size_t>(index + 1) << 20;
    void* mem = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mem != MAP_FAILED) memset(mem, 0x5a, bytes);
    for (;;) pause();
}

}  // namespace

bool SimMgmtProcs::start() {
    pid_t parent = getpid();
    for (int i = 0; i < kCount; i++) {
        pid_t pid = fork();
        if (pid < 0) {
            stop();
            return false;
        }
        if (pid == 0) child(i, parent);
        g_pids[i] = pid;
    }
    // Ready once every child carries its name and its memory.
    for (int i = 0; i < kCount; i++) {
        std::string want = kNames[i];
        for (int tries = 0; tries < 200; tries++) {
            std::ifstream status("/proc/" + std::to_string(g_pids[i]) + "/status");
            std::string key, name, line;
            status >> key >> name;
            long rss = 0;
            while (std::getline(status, line))
                if (line.rfind("VmRSS:", 0) == 0) rss = std::stol(line.substr(6));
            if (name == want && rss >= (static_cast<long>(i + 1) << 10)) break;
            usleep(10000);
        }
    }
    return true;
}

void SimMgmtProcs::stop() {
    for (pid_t& pid : g_pids) {
        if (pid <= 0) continue;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        pid = 0;
    }
}

int SimMgmtProcs::pid(int i) { return i >= 0 && i < kCount ? g_pids[i] : 0; }
