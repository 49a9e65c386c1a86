#include "DaemonDialer.h"

#include <rpc/rpc.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "LocalRpcClient.h"
#include "SnapshotSource.h"
#include "tolmstats.h"

namespace {

// A non-blocking TCP socket with its connect to `to` on its way; -1 with
// errno set when the connect failed at once.
int connecting(const sockaddr_in& to) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw SourceError(std::string("RPC: System error; socket: ") + strerror(errno));
    if (connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 || errno == EINPROGRESS)
        return fd;
    int e = errno;
    close(fd);
    errno = e;
    return -1;
}

}  // namespace

in_addr DaemonDialer::addressOf(const std::string& node) {
    {
        std::lock_guard<std::mutex> hold(_lock);
        auto known = _addresses.find(node);
        if (known != _addresses.end())
            return known->second;
    }
    in_addr addr;
    if (!resolveIpv4(node.c_str(), &addr))
        throw SourceError(clnt_sperrno(RPC_UNKNOWNHOST));
    std::lock_guard<std::mutex> hold(_lock);
    _addresses[node] = addr;
    return addr;
}

int DaemonDialer::dial(const std::string& node, std::chrono::milliseconds left) {
    int fd = connecting(ipv4Address(addressOf(node), _servicePort));
    if (fd >= 0)
        return fd;
    if (errno == ECONNREFUSED)
        return redial(node, left);
    throw SourceError(std::string("RPC: Remote system error; connect: ") + strerror(errno));
}

int DaemonDialer::redial(const std::string& node, std::chrono::milliseconds left) {
    in_addr addr = addressOf(node);
    long ms = left.count() > 0 ? static_cast<long>(left.count()) : 1;
    timeval total = {ms / 1000, (ms % 1000) * 1000};
    uint32_t port = 0;
    clnt_stat st = portmapperGetport(ipv4Address(addr, _portmapperPort), RPCPROG_TOLMSTATSD,
                                     TOLMSTATS_RPC_VERSION_1, total, &port);
    if (st != RPC_SUCCESS)
        throw SourceError(std::string(clnt_sperrno(RPC_PMAPFAILURE)) + " - " + clnt_sperrno(st));
    if (port == 0 || port > 0xFFFF)
        throw SourceError(clnt_sperrno(RPC_PROGNOTREGISTERED));
    int fd = connecting(ipv4Address(addr, static_cast<uint16_t>(port)));
    if (fd < 0)
        throw SourceError(std::string("RPC: Remote system error; connect: ") + strerror(errno));
    return fd;
}
