#include "SimRpcConnections.h"

#include <arpa/inet.h>
#include <sys/socket.h>

void SimRpcConnections::reset(uint32_t dropRequests) {
    std::lock_guard<std::mutex> lk(_lock);
    _ports.clear();
    _drop = dropRequests;
}

bool SimRpcConnections::admit(struct svc_req* request) {
    int fd = request->rq_xprt->xp_fd;
    sockaddr_in peer = {};
    socklen_t len = sizeof peer;
    std::lock_guard<std::mutex> lk(_lock);
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0)
        _ports.insert(ntohs(peer.sin_port));
    if (_drop == 0)
        return true;
    _drop--;
    // The service loop sees the end of the connection and destroys it.
    shutdown(fd, SHUT_RDWR);
    return false;
}

size_t SimRpcConnections::connectionsSeen() const {
    std::lock_guard<std::mutex> lk(_lock);
    return _ports.size();
}
