#pragma once

#include <atomic>
#include <thread>

// Serves the RPC programs registered in this process on a thread of its own
// until destroyed (tests and benchmarks; tolmnodesim runs its own loop).
class SimServiceLoop {
public:
    SimServiceLoop();
    ~SimServiceLoop();
    SimServiceLoop(const SimServiceLoop&) = delete;
    SimServiceLoop& operator=(const SimServiceLoop&) = delete;

    // Serves the requests that are ready, waiting at most `timeoutMs` for one.
    static void serveOnce(int timeoutMs);

private:
    std::atomic<bool> _stop{false};
    std::thread _thread;
};
