#pragma once

#include <rpc/rpc.h>

class SnapshotProvider;

#define RPCPROG_TOLMSTATSD 0x20000900
#define TOLMSTATS_RPC_VERSION_1 1

// The stats query service: ONC RPC over TCP on port 951, registered with the
// portmapper, answering the earliest, latest, given and all records of each
// type and the list of timestamps from a SnapshotProvider.
class TolmStatsSvr {
public:
    static void createServer(SnapshotProvider* provider);
    // Runs the service loop until stopServer().
    static void startServer();
    // Ends startServer's loop; safe from any thread.
    static void stopServer();
    static void dispatch(svc_req* request, SVCXPRT* transport);

    bool _dispatch(svc_req* request, SVCXPRT* transport);

private:
    explicit TolmStatsSvr(SnapshotProvider* provider) : _provider(provider) {}

    SnapshotProvider* _provider;
    static TolmStatsSvr* s_instance;
};
