#include "LocalRpcClient.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/pmap_prot.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "LocalRpc.h"
#include "TcpRpcClient.h"

namespace {

constexpr uint16_t kPortmapperPort = 111;
// A portmapper query unanswered for this long is sent again.
constexpr int64_t kQueryResendMs = 1000;

void createError(clnt_stat status, int error) {
    rpc_createerr.cf_stat = status;
    rpc_createerr.cf_error.re_errno = error;
}

// A socket of our own (an ordinary port) of `type`, connected to addr:port;
// -1 with rpc_createerr set on failure.
int connectedSocket(int type, const sockaddr_in& to) {
    int fd = socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        createError(RPC_SYSTEMERROR, errno);
        return -1;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        createError(RPC_SYSTEMERROR, errno);
        close(fd);
        return -1;
    }
    return fd;
}

// A client on a TCP socket of our own, connected to addr:port; the socket is
// closed with the handle (or here, on failure).
CLIENT* clientOn(in_addr addr, uint16_t port, rpcprog_t prog, rpcvers_t vers) {
    sockaddr_in to = ipv4Address(addr, port);
    int fd = connectedSocket(SOCK_STREAM, to);
    if (fd < 0)
        return nullptr;
    // On the connected socket as it is (clnttcp_create would still try to
    // bind it to a reserved port first); the handle closes it.
    return tcpRpcClient(fd, to, prog, vers);
}

int64_t nowMs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

// The call datagram of GETPORT: the call header with null credentials, then
// the pmap argument.
bool encodeGetport(uint32_t xid, rpcprog_t prog, rpcvers_t vers, char* buf, u_int size,
                   u_int* len) {
    rpc_msg msg = nullAuthCall(xid, PMAPPROG, PMAPVERS, PMAPPROC_GETPORT);
    pmap query = {prog, vers, IPPROTO_TCP, 0};
    XDR x;
    xdrmem_create(&x, buf, size, XDR_ENCODE);
    bool ok = xdr_callmsg(&x, &msg) && xdr_pmap(&x, &query);
    *len = xdr_getpos(&x);
    xdr_destroy(&x);
    return ok;
}

// Reads a reply datagram: false when it is not the reply to `xid` (to be
// passed over); otherwise the call's status in `st` and the port.
bool decodeGetport(const char* buf, size_t len, uint32_t xid, clnt_stat* st, uint32_t* port) {
    if (len < 4)
        return false;
    uint32_t first;
    memcpy(&first, buf, 4);
    if (ntohl(first) != xid)
        return false;
    u_long answer = 0;
    rpc_msg reply = {};
    reply.acpted_rply.ar_verf = _null_auth;
    reply.acpted_rply.ar_results.where = reinterpret_cast<caddr_t>(&answer);
    reply.acpted_rply.ar_results.proc = reinterpret_cast<xdrproc_t>(xdr_u_long);
    XDR x;
    xdrmem_create(&x, const_cast<char*>(buf), static_cast<u_int>(len), XDR_DECODE);
    bool decoded = xdr_replymsg(&x, &reply);
    xdr_destroy(&x);
    if (!decoded) {
        *st = RPC_CANTDECODERES;
    } else {
        // A refused call carries no results: its status says why.
        rpc_err err = {};
        _seterr_reply(&reply, &err);
        *st = err.re_status;
        if (*st == RPC_SUCCESS)
            *port = static_cast<uint32_t>(answer);
    }
    freeReplyVerifier(&reply);
    return true;
}

}  // namespace

sockaddr_in ipv4Address(in_addr addr, uint16_t port) {
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr = addr;
    to.sin_port = htons(port);
    return to;
}

bool resolveIpv4(const char* host, in_addr* out) {
    // An address as text needs no name service.
    if (inet_pton(AF_INET, host, out) == 1)
        return true;
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr)
        return false;
    *out = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

clnt_stat portmapperGetport(const sockaddr_in& portmapper, rpcprog_t prog, rpcvers_t vers,
                            timeval total, uint32_t* port) {
    const uint32_t xid = takeXids(1);
    char call[128];
    u_int callLen = 0;
    if (!encodeGetport(xid, prog, vers, call, sizeof call, &callLen))
        return RPC_CANTENCODEARGS;
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return RPC_SYSTEMERROR;
    if (connect(fd, reinterpret_cast<const sockaddr*>(&portmapper), sizeof portmapper) != 0) {
        close(fd);
        return RPC_SYSTEMERROR;
    }
    const int64_t deadline =
        nowMs() + static_cast<int64_t>(total.tv_sec) * 1000 + total.tv_usec / 1000;
    clnt_stat st = RPC_TIMEDOUT;
    int64_t resendAt = 0;
    for (;;) {
        int64_t now = nowMs();
        if (now >= deadline)
            break;
        if (now >= resendAt) {
            if (send(fd, call, callLen, 0) < 0 && errno != EINTR) {
                // An earlier datagram's port-unreachable error shows here.
                st = errno == ECONNREFUSED ? RPC_CANTRECV : RPC_CANTSEND;
                break;
            }
            resendAt = now + kQueryResendMs;
        }
        pollfd p = {fd, POLLIN, 0};
        int wait = static_cast<int>(std::min(resendAt, deadline) - now);
        int n = poll(&p, 1, wait);
        if (n < 0 && errno != EINTR) {
            st = RPC_CANTRECV;
            break;
        }
        if (n <= 0)
            continue;
        char reply[400];
        ssize_t got = recv(fd, reply, sizeof reply, 0);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            // Nobody listens on the port: no use waiting.
            st = RPC_CANTRECV;
            break;
        }
        if (decodeGetport(reply, static_cast<size_t>(got), xid, &st, port))
            break;
    }
    close(fd);
    return st;
}

bool portmapperTcpPort(in_addr addr, rpcprog_t prog, rpcvers_t vers, uint16_t* port) {
    uint32_t answer = 0;
    if (portmapperGetport(ipv4Address(addr, kPortmapperPort), prog, vers, localRpcTimeout(),
                          &answer) != RPC_SUCCESS) {
        createError(RPC_PMAPFAILURE, 0);
        return false;
    }
    if (answer == 0 || answer > 0xFFFF) {
        createError(RPC_PROGNOTREGISTERED, 0);
        return false;
    }
    *port = static_cast<uint16_t>(answer);
    return true;
}

CLIENT* localTcpClient(const char* host, rpcprog_t prog, rpcvers_t vers) {
    in_addr addr;
    if (!resolveIpv4(host, &addr)) {
        createError(RPC_UNKNOWNHOST, 0);
        return nullptr;
    }
    uint16_t port = 0;
    if (!portmapperTcpPort(addr, prog, vers, &port))
        return nullptr;
    return clientOn(addr, port, prog, vers);
}

void prepareRpcClients() {
    static AUTH* const shared = authnone_create();
    (void)shared;
}
