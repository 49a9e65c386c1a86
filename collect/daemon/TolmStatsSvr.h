#pragma once

#include <rpc/rpc.h>

class SnapshotProvider;

#define RPCPROG_TOLMSTATSD 0x20000900
#define TOLMSTATS_RPC_VERSION_1 1

// The stats query service: ONC RPC over TCP on port 951, registered with the
// portmapper, answering the earliest, latest, given and all records of each
// type and the list of timestamps from a SnapshotProvider.
//
// No client can hold the service: connections are read without blocking, a
// connection that carries no whole request for the idle time (60 s) is
// closed, and at most 1000 connections are kept (fewer when the descriptor
// limit is low), the least recently used closed first to make room.
// Everything but stopServer runs on the main thread.
class TolmStatsSvr {
public:
    // Creates the server and registers it. A bind that keeps failing is
    // retried every 2 s (90 times), ending early on stopServer().
    static void createServer(SnapshotProvider* provider);
    // Runs the service loop until stopServer().
    static void startServer();
    // Ends createServer's retries and startServer's loop; safe from any
    // thread and from a signal thread.
    static void stopServer();
    // Unregisters the program from the portmapper, closes every connection
    // and the listening socket; the orderly stop's last step.
    static void destroyServer();
    // For tests: the idle time in seconds and the connection cap.
    static void setConnectionLimits(int idleSecs, int maxConnections);
    // For tests and fuzzing that drive dispatch() over a transport of their
    // own: the server object without socket or registration (null removes it).
    static void attachProvider(SnapshotProvider* provider);
    static void dispatch(svc_req* request, SVCXPRT* transport);

    bool _dispatch(svc_req* request, SVCXPRT* transport);

private:
    explicit TolmStatsSvr(SnapshotProvider* provider) : _provider(provider) {}

    SnapshotProvider* _provider;
    static TolmStatsSvr* s_instance;
};
