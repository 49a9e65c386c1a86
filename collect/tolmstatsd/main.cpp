// tolmstatsd: the statistics collector daemon of the node.

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "CollectorConfig.h"
#include "CollectorEnv.h"
#include "CollectorMain.h"
#include "FLock.h"
#include "LocalRpcClient.h"
#include "Privileges.h"
#include "SLogger.h"
#include "SignalMgr.h"
#include "TolmStatsSvr.h"
#include "TolmVersion.h"

namespace {

// How long an orderly stop waits for the collection and persistence threads;
// one stuck in a node service's call is abandoned after that, so that a stop
// takes under 2 s whatever the node's services do.
constexpr int kStopWaitMs = 1500;

// SIGTERM and SIGINT, on the signal thread: stop both loops, then the
// service loop; main then tears down in order.
void stopDaemon(void* arg) {
    static_cast<CollectorMain*>(arg)->shutdown();
    TolmStatsSvr::stopServer();
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "tolmstatsd"))
        return 0;
    CollectorConfig* config = new CollectorConfig(argc, argv);

    struct rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
    if (setrlimit(RLIMIT_CORE, &unlimited) != 0)
        fprintf(stderr, "setrlimit failed: %s", strerror(errno));
    // Drop any set-user or set-group identity.
    IdentityOps identity;
    dropPrivileges(identity, stderr);

    if (!config->noDaemon && daemon(1, config->debug) != 0) {
        fprintf(stderr, "daemon() failed: %s", strerror(errno));
        exit(-1);
    }
    SLogger::initialize(config->debug, config->debug ? 7 : 6);
    FLock* lock = new FLock("tolmstatsd");
    SLogger::info("starting");

    // The served signals are blocked before any thread starts, so that only
    // the signal thread receives them.
    SignalMgr::blockServedSignals();
    prepareRpcClients();
    CollectorEnv env;
    CollectorMain* collectorMain = new CollectorMain(*config, &env);
    SignalMgr::setStopHandler(stopDaemon, collectorMain);
    SignalMgr::initialize(collectorMain, config->dumpDir.c_str(), !config->dumpBinary,
                          config->skipZeroXmlStats);

    TolmStatsSvr::createServer(collectorMain);
    TolmStatsSvr::startServer();

    // The orderly stop. The signal thread goes first, so that no dump or stop
    // handler can use CollectorMain once it is gone; then the service is
    // unregistered and the threads are told to stop.
    SignalMgr::stop();
    TolmStatsSvr::destroyServer();
    collectorMain->shutdown();
    bool stopped = collectorMain->waitToComplete(kStopWaitMs);
    if (stopped) {
        delete collectorMain;
    } else {
        SLogger::warning("collection still busy after %d ms: not waited for", kStopWaitMs);
        collectorMain->abandonThreads();
        std::string persisting = collectorMain->persistenceInProgress();
        if (!persisting.empty())
            SLogger::err("persistence into %s abandoned at stop: its files may be incomplete",
                         persisting.c_str());
    }
    delete lock;
    if (!stopped) {
        // A thread still uses CollectorMain and the configuration: leave
        // without destroying them.
        SLogger::info("shutting down");
        _exit(0);
    }
    delete config;
    return 0;
}
