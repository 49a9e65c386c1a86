#include "SimServiceLoop.h"

#include <poll.h>
#include <rpc/rpc.h>

#include <vector>

SimServiceLoop::SimServiceLoop() : _thread([this] {
    while (!_stop) serveOnce(50);
}) {}

SimServiceLoop::~SimServiceLoop() {
    _stop = true;
    _thread.join();
}

void SimServiceLoop::serveOnce(int timeoutMs) {
    std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
    int n = poll(fds.data(), fds.size(), timeoutMs);
    if (n > 0) svc_getreq_poll(fds.data(), n);
}
