#include "LoopbackDblade.h"

#include <cstring>

LoopbackDblade::LoopbackDblade() {
    _vldb.setUseVldb(0);
    if (_vldb.create() != 0)
        return;
    if (Rf_createServer(TolmVldb::getRf(), 1, serve, this, nullptr) != 0)
        return;
    _ready = _vldb.connect("127.0.0.1", RfUser_getEndPointPort(TolmVldb::getEndPoint())) == 0;
}

LoopbackDblade::~LoopbackDblade() {
    _vldb.destroy();
}

void LoopbackDblade::queueReply(const Bytes& reply) {
    std::lock_guard<std::mutex> lk(_lock);
    _replies.push_back(reply);
}

void LoopbackDblade::onRequest(std::function<void()> hook) {
    std::lock_guard<std::mutex> lk(_lock);
    _hook = std::move(hook);
}

std::vector<LoopbackDblade::Bytes> LoopbackDblade::requests() {
    std::lock_guard<std::mutex> lk(_lock);
    return _requests;
}

void LoopbackDblade::clear() {
    std::lock_guard<std::mutex> lk(_lock);
    _requests.clear();
    _replies.clear();
}

void LoopbackDblade::serve(void* ctx, RfServerCall* call, RfPacket* request) {
    LoopbackDblade* self = static_cast<LoopbackDblade*>(ctx);
    Bytes reply(4 + 4 * 24, 0);
    {
        std::lock_guard<std::mutex> lk(self->_lock);
        if (self->_hook)
            self->_hook();
        self->_requests.emplace_back(request->datap, request->datap + request->size);
        if (!self->_replies.empty()) {
            reply = self->_replies.front();
            self->_replies.pop_front();
        }
    }
    Rf_freePacket(request);
    RfPacket* response = RfUser_allocPacket(TolmVldb::getEndPoint());
    nbuf_addIov(response, reply.data(), static_cast<int32_t>(reply.size()));
    Rf_sendResponse(call, response);
}
