#pragma once

#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <set>

// What a simulated RPC service knows of its callers' connections: how many it
// has seen (by the caller's port), and how many of the next requests it is to
// leave unanswered by shutting their connection, as a service that drops a
// fresh connection would look to its callers.
class SimRpcConnections {
  public:
    // Forgets the connections seen; the next `dropRequests` requests are dropped.
    void reset(uint32_t dropRequests);
    // Notes the request's connection. False when the request is to be dropped:
    // its connection has been shut and the service must not answer it.
    bool admit(struct svc_req* request);
    size_t connectionsSeen() const;

  private:
    mutable std::mutex _lock;
    std::set<uint16_t> _ports;
    uint32_t _drop = 0;
};
