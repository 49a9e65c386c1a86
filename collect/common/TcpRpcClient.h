#pragma once

#include <netinet/in.h>
#include <rpc/rpc.h>

#include <cstdint>

// An ONC RPC client handle on a connected TCP socket, for the one thread that
// makes it: the calls and records of clnt_vc_create's handles (record marking,
// AUTH_NONE, the same clnt_stat results), without what those do to be shared
// between threads (a signal mask set and restored and a lock taken around
// every call, a poll before every read). The call's time-out is the socket's
// receive time-out, set when it changes: a reply must begin and go on
// arriving within it. Sending is not timed: one call is out at a time, and
// its request goes into the socket's buffer at once. The handle owns the
// socket and closes it when it is destroyed. Returns null (rpc_createerr set, the socket closed) on
// failure.
CLIENT* tcpRpcClient(int fd, const sockaddr_in& server, rpcprog_t prog, rpcvers_t vers);

// The first of `count` xids of the process's own, for a handle or a query: the
// first call starts from the process id and the clock (so that processes and
// their restarts differ, as the RPC library's do), later calls go on from
// there, with no system call.
uint32_t takeXids(uint32_t count);

// The header of a call of `proc` with no credentials or verifier
// (AUTH_NONE), to be encoded before the call's arguments.
rpc_msg nullAuthCall(uint32_t xid, rpcprog_t prog, rpcvers_t vers, rpcproc_t proc);

// Frees what decoding a reply allocated for its verifier, if anything.
void freeReplyVerifier(rpc_msg* reply);
