#pragma once

#include <netinet/in.h>
#include <rpc/rpc.h>

#include <cstdint>

// A TCP client handle for `prog`/`vers` on `host`, for one collection's calls
// to a node service: what clnt_create(host, prog, vers, "tcp") gives, but on
// sockets the collector opens itself from ordinary ports. (Run as root, the RPC
// library binds each socket it makes to a reserved port: the ports below 1024
// that the node's other services need would be used up, hundreds at a time
// waiting in TIME_WAIT.) The service's port is asked from the host's
// portmapper (program 100000 version 2, GETPORT, over UDP) on every call, as
// clnt_create does. The handle owns its socket: clnt_destroy closes it.
// Returns null on failure with rpc_createerr set: RPC_UNKNOWNHOST,
// RPC_PMAPFAILURE (portmapper unreachable), RPC_PROGNOTREGISTERED or
// RPC_SYSTEMERROR (the service does not take the connection).
CLIENT* localTcpClient(const char* host, rpcprog_t prog, rpcvers_t vers);

// The socket address of `addr`, `port`.
sockaddr_in ipv4Address(in_addr addr, uint16_t port);

// The IPv4 address of `host`: an address as text, or the name service's
// first IPv4 address of the name. False when there is none.
bool resolveIpv4(const char* host, in_addr* out);

// The TCP port of `prog`/`vers` as the portmapper at `addr` (port 111) gives
// it, through portmapperGetport with the call's 25 seconds. Returns false with
// rpc_createerr set when the portmapper cannot be asked (RPC_PMAPFAILURE) or
// the program is not registered (RPC_PROGNOTREGISTERED).
bool portmapperTcpPort(in_addr addr, rpcprog_t prog, rpcvers_t vers, uint16_t* port);

// One portmapper GETPORT (program 100000 version 2, procedure 3) of
// `prog`/`vers` over TCP, to the portmapper at `portmapper`: one datagram
// from a UDP socket of our own (an ordinary port) connected to it, sent again
// every second without an answer until `total` is up. Datagrams that are not
// the answer to this call (another xid) are passed over. A portmapper that is
// not there ends the query at once (the port-unreachable error on the
// connected socket: RPC_CANTRECV) rather than after `total`. RPC_SUCCESS puts
// the answer in *port (0: not registered); otherwise the reply's refusal
// (RPC_PROCUNAVAIL, RPC_PROGVERSMISMATCH, ...), RPC_CANTDECODERES,
// RPC_TIMEDOUT, RPC_CANTSEND or RPC_SYSTEMERROR.
clnt_stat portmapperGetport(const sockaddr_in& portmapper, rpcprog_t prog, rpcvers_t vers,
                            timeval total, uint32_t* port);

// Makes the RPC library's one shared AUTH_NONE handle. The library makes it on
// first use and tests for it without its lock, so threads that make their
// first clients at the same moment each make one and all but the last are
// lost. A program that makes clients from several threads calls this once
// before it starts them; later calls do nothing.
void prepareRpcClients();
