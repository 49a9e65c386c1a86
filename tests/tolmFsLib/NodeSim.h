#pragma once

// tolmnodesim as a child process for tests and benchmarks: NodeSim starts it
// on a work directory (WORK/vol served as the statistics volume, WORK/node as
// its root) and stops it when destroyed. TOLMNODESIM_PATH names the program.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

inline int countLines(const std::string& text, const std::string& prefix) {
    int n = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, prefix.size(), prefix) == 0)
            n++;
    return n;
}

// tolmnodesim serving a work directory's "vol" as the statistics volume;
// ready once it says it serves.
class NodeSim {
  public:
    // With `log`, the D-blade's request log goes to WORK/fs.log.
    NodeSim(const std::string& work, std::vector<std::string> extra, bool log = true)
        : _log(work + "/fs.log") {
        std::vector<std::string> args = {TOLMNODESIM_PATH, "--root",    work + "/node", "--volume",
                                         work + "/vol",    "--no-mgmt", "--no-stream"};
        if (log) {
            args.push_back("--fs-log");
            args.push_back(_log);
        }
        args.insert(args.end(), extra.begin(), extra.end());
        int fds[2];
        if (pipe(fds) != 0)
            return;
        _pid = fork();
        if (_pid == 0) {
            dup2(fds[1], 2);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> argv;
            for (auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fds[1]);
        std::string said;
        char buf[256];
        ssize_t n;
        while (said.find("serving under") == std::string::npos &&
               (n = read(fds[0], buf, sizeof buf)) > 0)
            said.append(buf, static_cast<size_t>(n));
        close(fds[0]);
        _ready = said.find("serving under") != std::string::npos;
    }
    ~NodeSim() {
        if (_pid > 0) {
            kill(_pid, SIGTERM);
            waitpid(_pid, nullptr, 0);
        }
    }
    bool ready() const { return _ready; }
    std::string log() const { return slurp(_log); }

  private:
    std::string _log;
    pid_t _pid = -1;
    bool _ready = false;
};
