#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "TolmVldb.h"

// A scripted D-blade inside the test: the client library in stand-alone mode
// talks over Rf to a server on its own endpoint, which keeps every request's
// bytes and answers with the replies queued by the test, or else with a
// success status followed by zero words (enough for any reply layout).
class LoopbackDblade {
  public:
    using Bytes = std::vector<uint8_t>;

    LoopbackDblade();
    ~LoopbackDblade();
    bool ready() const { return _ready; }
    TolmVldb* vldb() { return &_vldb; }

    void queueReply(const Bytes& reply);
    // Called on the dispatch thread as each request arrives, while the
    // client's call is outstanding.
    void onRequest(std::function<void()> hook);
    std::vector<Bytes> requests();
    void clear();

  private:
    static void serve(void* ctx, RfServerCall* call, RfPacket* request);

    TolmVldb _vldb;
    bool _ready = false;
    std::mutex _lock;
    std::vector<Bytes> _requests;
    std::deque<Bytes> _replies;
    std::function<void()> _hook;  // guarded by _lock
};
