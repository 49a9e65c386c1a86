#include "LocalRpcClient.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <rpc/pmap_prot.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "LocalRpc.h"
#include "TcpRpcClient.h"

namespace {

constexpr uint16_t kPortmapperPort = 111;

void createError(clnt_stat status, int error) {
    rpc_createerr.cf_stat = status;
    rpc_createerr.cf_error.re_errno = error;
}

bool resolve(const char* host, in_addr* out) {
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

sockaddr_in ipv4(in_addr addr, uint16_t port) {
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr = addr;
    to.sin_port = htons(port);
    return to;
}

// A client on a TCP socket of our own, connected to addr:port; the socket is
// closed with the handle (or here, on failure).
CLIENT* clientOn(in_addr addr, uint16_t port, rpcprog_t prog, rpcvers_t vers) {
    sockaddr_in to = ipv4(addr, port);
    int fd = connectedSocket(SOCK_STREAM, to);
    if (fd < 0)
        return nullptr;
    // On the connected socket as it is (clnttcp_create would still try to
    // bind it to a reserved port first); the handle closes it.
    return tcpRpcClient(fd, to, prog, vers);
}

// A datagram client of the portmapper at addr, on a socket of our own
// connected to it: a portmapper that is not there answers at once (the
// port-unreachable error ends the call) instead of after the whole time-out.
// A lost datagram is sent again every second.
CLIENT* portmapperClient(in_addr addr) {
    sockaddr_in to = ipv4(addr, kPortmapperPort);
    int fd = connectedSocket(SOCK_DGRAM, to);
    if (fd < 0)
        return nullptr;
    netbuf server = {sizeof to, sizeof to, &to};
    CLIENT* c = clnt_dg_create(fd, &server, PMAPPROG, PMAPVERS, 0, 0);
    if (c == nullptr) {
        close(fd);
        return nullptr;
    }
    clnt_control(c, CLSET_FD_CLOSE, nullptr);
    timeval retry = {1, 0};
    clnt_control(c, CLSET_RETRY_TIMEOUT, reinterpret_cast<char*>(&retry));
    return c;
}

}  // namespace

bool portmapperTcpPort(in_addr addr, rpcprog_t prog, rpcvers_t vers, uint16_t* port) {
    CLIENT* portmapper = portmapperClient(addr);
    if (portmapper == nullptr) {
        createError(RPC_PMAPFAILURE, rpc_createerr.cf_error.re_errno);
        return false;
    }
    pmap query = {prog, vers, IPPROTO_TCP, 0};
    u_long answer = 0;
    clnt_stat st =
        clnt_call(portmapper, PMAPPROC_GETPORT, reinterpret_cast<xdrproc_t>(xdr_pmap),
                  reinterpret_cast<caddr_t>(&query), reinterpret_cast<xdrproc_t>(xdr_u_long),
                  reinterpret_cast<caddr_t>(&answer), localRpcTimeout());
    clnt_destroy(portmapper);
    if (st != RPC_SUCCESS) {
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
    if (!resolve(host, &addr)) {
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
