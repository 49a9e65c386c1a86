#pragma once

#include <rpc/rpc.h>

// The host on which the node's own RPC services are reached: the loopback
// address itself, so that making a handle asks no name service (looking up
// "localhost" reads the resolver's configuration and the hosts file each time,
// eight system calls for every handle of every collection).
constexpr const char* LOCAL_RPC_HOST = "127.0.0.1";

// Every call to a node service waits at most this long.
inline timeval localRpcTimeout() {
    timeval t;
    t.tv_sec = 25;
    t.tv_usec = 0;
    return t;
}

// The status of one call: the RPC library's status when the call failed,
// otherwise the status the reply carries.
inline int localRpcStatus(clnt_stat callStatus, int replyStatus) {
    return callStatus != RPC_SUCCESS ? static_cast<int>(callStatus) : replyStatus;
}
