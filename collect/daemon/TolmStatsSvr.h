#pragma once

#include <rpc/rpc.h>

#include <cstddef>

class SnapshotProvider;

// The program, its version and procedure numbers, and the argument codecs.
#include "tolmstats.h"

// The stats query service: ONC RPC over TCP on port 951, registered with the
// portmapper, answering the earliest, latest, given and all records of each
// type and the list of timestamps from a SnapshotProvider.
//
// No client can hold the service. Connections are read and written without
// blocking on one service thread: a reply that does not fit the socket is
// kept and written as the client takes it, while the others are served.
// A connection is closed when it carries no whole request for the idle time,
// when its client takes no byte of a pending reply for the stall time, and,
// the slowest first, while the replies kept for all clients are over the
// buffered cap (a lone reply is always kept). At most maxConnections are open
// (fewer when the descriptor limit is low); a new one closes the least
// recently used idle one. Everything but stopServer and setLimits runs on
// the service thread.
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
    struct Limits {
        int idleSecs = 60;
        int stallSecs = 10;
        int maxConnections = 512;
        size_t maxBufferedBytes = size_t{64} << 20;
        // Each connection's kernel send buffer (fixed, so the kernel does not
        // grow it to megabytes for a client that does not read).
        int socketSendBytes = 256 * 1024;
    };
    // Replaces the limits; taken at the loop's next pass. Any thread.
    static void setLimits(const Limits& limits);
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
