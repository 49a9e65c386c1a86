// rfping: an Rf client that binds to a server, sends calls of a given body size with a number
// of them outstanding, checks that every response carries the request's body, and reports
// calls, failures by error code, calls/s and MB/s.

#include <netdb.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

#include "RfPthread.h"
#include "TolmVersion.h"

namespace {

constexpr uint32_t kEchoInterface = 1;
// Key under which responses with the wrong body are counted (0 is never an error code).
constexpr int32_t kBodyMismatch = 0;

struct Options {
    const char* host = nullptr;
    long port = -1;
    long count = 1000;
    long size = 64;
    long parallel = 1;
    long dropPct = 0;
    bool stats = false;
};

struct PingRun;

struct CallContext {
    PingRun* runp;
    uint32_t number;
};

struct PingRun {
    Options options;
    RfUserEndPoint* endp = nullptr;
    RfConn* connp = nullptr;
    std::mutex mutex;
    std::condition_variable done;
    long issued = 0;
    long completed = 0;
    std::map<int32_t, long> failures;
};

void usage() {
    fprintf(stderr,
            "usage: rfping HOST PORT [--count N] [--size BYTES] [--parallel K] [--drop PCT] "
            "[--stats]\n");
}

bool parseNumber(const char* text, long low, long high, long* valuep) {
    char* endp = nullptr;
    long value = strtol(text, &endp, 10);
    if (endp == text || *endp != '\0' || value < low || value > high) {
        return false;
    }
    *valuep = value;
    return true;
}

bool parseOptions(int argc, char** argv, Options* op) {
    int positional = 0;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        long* targetp = nullptr;
        long low = 0;
        long high = 0;
        if (strcmp(arg, "--count") == 0) {
            targetp = &op->count, low = 1, high = 1000000000;
        } else if (strcmp(arg, "--size") == 0) {
            targetp = &op->size, low = 0, high = RF_MAX_BODY;
        } else if (strcmp(arg, "--parallel") == 0) {
            targetp = &op->parallel, low = 1, high = RF_MAX_CLIENT_CALLS;
        } else if (strcmp(arg, "--drop") == 0) {
            targetp = &op->dropPct, low = 0, high = 100;
        }
        if (strcmp(arg, "--stats") == 0) {
            op->stats = true;
        } else if (targetp != nullptr) {
            if (i + 1 >= argc || !parseNumber(argv[++i], low, high, targetp)) {
                return false;
            }
        } else if (positional == 0 && arg[0] != '-') {
            op->host = arg;
            positional++;
        } else if (positional == 1 && parseNumber(arg, 1, 65535, &op->port)) {
            positional++;
        } else {
            return false;
        }
    }
    return positional == 2;
}

// Body byte j of call n.
uint8_t bodyByte(uint32_t number, long j) {
    return static_cast<uint8_t>((number * 131u + static_cast<uint32_t>(j) * 7u) >> 1);
}

void issueCall(PingRun* runp, uint32_t number);

void callDone(void* contextp, RfPacket* responsep, int32_t error) {
    CallContext* ctxp = static_cast<CallContext*>(contextp);
    PingRun* runp = ctxp->runp;
    uint32_t number = ctxp->number;
    delete ctxp;
    int32_t failure = error;
    bool wrongBody = false;
    if (error == 0) {
        bool same = responsep != nullptr && responsep->size == runp->options.size;
        for (long j = 0; same && j < runp->options.size; j++) {
            same = responsep->datap[j] == bodyByte(number, j);
        }
        wrongBody = !same;
    }
    if (responsep != nullptr) {
        Rf_freePacket(responsep);
    }
    long next = -1;
    {
        std::lock_guard<std::mutex> lock(runp->mutex);
        if (failure != 0 || wrongBody) {
            runp->failures[failure]++;
        }
        runp->completed++;
        if (runp->issued < runp->options.count) {
            next = runp->issued++;
        }
        if (runp->completed == runp->options.count) {
            runp->done.notify_all();
        }
    }
    if (next >= 0) {
        issueCall(runp, static_cast<uint32_t>(next));
    }
}

void issueCall(PingRun* runp, uint32_t number) {
    RfPacket* p = RfUser_allocPacket(runp->endp);
    if (p == nullptr) {
        callDone(new CallContext{runp, number}, nullptr, RF_ERR_NO_CALL_SLOT);
        return;
    }
    uint8_t* bodyp = nbuf_addTrailer(p, static_cast<int32_t>(runp->options.size));
    for (long j = 0; j < runp->options.size; j++) {
        bodyp[j] = bodyByte(number, j);
    }
    Rf_call(runp->connp, p, callDone, new CallContext{runp, number});
}

bool resolve(const char* host, long port, struct sockaddr_in* addrp) {
    struct addrinfo hints;
    memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    struct addrinfo* resultp = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &resultp) != 0 || resultp == nullptr) {
        return false;
    }
    memcpy(addrp, resultp->ai_addr, sizeof *addrp);
    addrp->sin_port = htons(static_cast<uint16_t>(port));
    freeaddrinfo(resultp);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "rfping"))
        return 0;
    PingRun run;
    if (!parseOptions(argc, argv, &run.options)) {
        usage();
        return 2;
    }
    struct sockaddr_in addr;
    if (!resolve(run.options.host, run.options.port, &addr)) {
        fprintf(stderr, "rfping: cannot resolve %s\n", run.options.host);
        return 2;
    }
    srandom(static_cast<unsigned>(getpid()));
    Rf* rfp = nullptr;
    if (RfUser_createUDPEndPoint(0, &run.endp) != 0 || Rf_create(run.endp, &rfp) != 0 ||
        Rf_createClientConn(rfp, &addr, kEchoInterface, &run.connp) != 0) {
        fprintf(stderr, "rfping: cannot set up the Rf client\n");
        return 1;
    }
    RfUser_setDropPct(run.endp, static_cast<int32_t>(run.options.dropPct));
    pthread_t dispatchThread;
    if (RfUser_startDispatchThread(&dispatchThread, nullptr, run.endp) != 0) {
        fprintf(stderr, "rfping: cannot start the dispatch thread\n");
        return 1;
    }
    auto start = std::chrono::steady_clock::now();
    std::vector<uint32_t> first;
    {
        std::lock_guard<std::mutex> lock(run.mutex);
        while (run.issued < run.options.count && run.issued < run.options.parallel) {
            first.push_back(static_cast<uint32_t>(run.issued++));
        }
    }
    for (uint32_t number : first) {
        issueCall(&run, number);
    }
    {
        std::unique_lock<std::mutex> lock(run.mutex);
        run.done.wait(lock, [&run] { return run.completed == run.options.count; });
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    RfUser_killDispatchThread(&dispatchThread);

    long failed = 0;
    for (const auto& entry : run.failures) {
        failed += entry.second;
    }
    long good = run.options.count - failed;
    double callsPerSec = seconds > 0 ? run.options.count / seconds : 0;
    double megabytesPerSec =
        seconds > 0 ? 2.0 * static_cast<double>(run.options.size) * good / seconds / 1e6 : 0;
    printf("calls: %ld\n", run.options.count);
    printf("failures: %ld\n", failed);
    for (const auto& entry : run.failures) {
        if (entry.first == kBodyMismatch) {
            printf("failures with wrong body: %ld\n", entry.second);
        } else {
            printf("failures with error %d: %ld\n", entry.first, entry.second);
        }
    }
    printf("seconds: %.3f\n", seconds);
    printf("calls/s: %.1f\n", callsPerSec);
    printf("MB/s: %.3f\n", megabytesPerSec);
    fflush(stdout);
    if (run.options.stats) {
        RfStats st;
        Rf_getStats(rfp, &st);
        printf(
            "engine: rxAcks %u rxCalls %u rxUnexpected %u txAcks %u txCalls %u txResends %u "
            "txStalls %u\n",
            st.rxAcks, st.rxCalls, st.rxUnexpected, st.txAcks, st.txCalls, st.txResends,
            st.txStalls);
        fflush(stdout);
    }

    Rf_destroyClientConn(run.connp);
    Rf_destroy(rfp);
    RfUser_destroyUDPEndPoint(run.endp);
    return failed == 0 ? 0 : 1;
}
