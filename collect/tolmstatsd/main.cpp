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
#include "SLogger.h"
#include "SignalMgr.h"
#include "TolmStatsSvr.h"

namespace {

// SIGTERM and SIGINT, on the signal thread: stop both loops, then the
// service loop; main then tears down in order.
void stopDaemon(void* arg) {
    static_cast<CollectorMain*>(arg)->shutdown();
    TolmStatsSvr::stopServer();
}

}  // namespace

int main(int argc, char** argv) {
    CollectorConfig* config = new CollectorConfig(argc, argv);

    struct rlimit unlimited = {RLIM_INFINITY, RLIM_INFINITY};
    if (setrlimit(RLIMIT_CORE, &unlimited) != 0)
        fprintf(stderr, "setrlimit failed: %s", strerror(errno));
    // Drop any set-user or set-group identity.
    if (setgid(getgid()) != 0 || setuid(getuid()) != 0)
        fprintf(stderr, "failed to drop privileges: %s\n", strerror(errno));

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
    CollectorEnv env;
    CollectorMain* collectorMain = new CollectorMain(*config, &env);
    SignalMgr::setStopHandler(stopDaemon, collectorMain);
    SignalMgr::initialize(collectorMain, config->dumpDir.c_str(), !config->dumpBinary,
                          config->skipZeroXmlStats);

    TolmStatsSvr::createServer(collectorMain);
    TolmStatsSvr::startServer();

    delete collectorMain;
    delete lock;
    delete config;
    return 0;
}
