#pragma once

#include <rpc/rpc.h>

// The host on which the node's own RPC services are reached.
constexpr const char* LOCAL_RPC_HOST = "localhost";

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
