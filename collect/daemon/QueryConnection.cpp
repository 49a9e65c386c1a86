#include "QueryConnection.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <type_traits>

namespace {

// The operations table's type is only named inside SVCXPRT, behind its member.
using TransportOps = std::remove_const_t<std::remove_pointer_t<decltype(SVCXPRT::xp_ops)>>;

// Size of the reply fragments; a reply of any size is written as several.
constexpr unsigned kFragmentBytes = 32 * 1024;
// Calls taken from one connection in one pass, so that a client that sends
// calls as fast as it reads replies still lets the others in.
constexpr int kCallsPerPass = 16;
constexpr uint32_t kLastFragment = 0x80000000u;

std::string peerName(int fd) {
    sockaddr_storage peer;
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0)
        return "?";
    char text[INET6_ADDRSTRLEN] = "?";
    unsigned port = 0;
    if (peer.ss_family == AF_INET) {
        auto* in = reinterpret_cast<sockaddr_in*>(&peer);
        inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (peer.ss_family == AF_INET6) {
        auto* in6 = reinterpret_cast<sockaddr_in6*>(&peer);
        inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
        port = ntohs(in6->sin6_port);
    }
    return std::string(text) + ":" + std::to_string(port);
}

// Result of one read on a non-blocking socket.
enum class Got { Bytes, Later, Over };

Got readInto(int fd, void* where, size_t length, size_t& got) {
    for (;;) {
        ssize_t n = recv(fd, where, length, 0);
        if (n > 0) {
            got = static_cast<size_t>(n);
            return Got::Bytes;
        }
        if (n == 0)
            return Got::Over;
        if (errno == EINTR)
            continue;
        return errno == EAGAIN || errno == EWOULDBLOCK ? Got::Later : Got::Over;
    }
}

}  // namespace

QueryConnection::QueryConnection(int fd, int64_t nowMs, size_t maxRecord, rpcprog_t program,
                                 rpcvers_t version, Dispatch dispatch)
    : _fd(fd),
      _peer(peerName(fd)),
      _maxRecord(maxRecord),
      _program(program),
      _version(version),
      _dispatch(dispatch),
      _transport(),
      _mark(),
      _lastUse(nowMs),
      _lastDrain(nowMs) {
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    // A reply goes out a fragment at a time: its last, short one must not
    // wait for the peer's acknowledgement of the ones before.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    static const TransportOps ops = {nullptr, nullptr, getArgs, reply, freeArgs, nullptr};
    _transport.xp_fd = fd;
    _transport.xp_ops = &ops;
    _transport.xp_p1 = this;
}

QueryConnection::~QueryConnection() {
    close(_fd);
}

bool QueryConnection::onReadable(int64_t nowMs) {
    for (int calls = 0; calls < kCallsPerPass && !wantsWrite();) {
        size_t got = 0;
        if (!_inFragment) {
            Got r = readInto(_fd, _mark + _markHave, sizeof _mark - _markHave, got);
            if (r != Got::Bytes)
                return r == Got::Later;
            _markHave += got;
            if (_markHave < sizeof _mark)
                continue;
            uint32_t mark =
                static_cast<uint32_t>(_mark[0]) << 24 | _mark[1] << 16 | _mark[2] << 8 | _mark[3];
            _markHave = 0;
            _lastFragment = (mark & kLastFragment) != 0;
            _fragmentLeft = mark & ~kLastFragment;
            if (_record.size() + _fragmentLeft > _maxRecord)
                return false;
            _record.reserve(_record.size() + _fragmentLeft);
            _inFragment = true;
        }
        if (_fragmentLeft > 0) {
            size_t at = _record.size();
            _record.resize(at + _fragmentLeft);
            Got r = readInto(_fd, _record.data() + at, _fragmentLeft, got);
            _record.resize(at + got);
            if (r != Got::Bytes)
                return r == Got::Later;
            _fragmentLeft -= got;
            if (_fragmentLeft > 0)
                continue;
        }
        _inFragment = false;
        if (!_lastFragment)
            continue;
        _lastUse = nowMs;
        calls++;
        bool isCall = handleRecord();
        std::vector<char>().swap(_record);
        if (!isCall || _broken)
            return false;
        if (wantsWrite()) {
            _lastDrain = nowMs;
            if (!onWritable(nowMs))
                return false;
        }
    }
    return true;
}

bool QueryConnection::onWritable(int64_t nowMs) {
    while (_outSent < _out.size()) {
        ssize_t n =
            send(_fd, _out.data() + _outSent, _out.size() - _outSent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK;
        }
        _outSent += static_cast<size_t>(n);
        _lastDrain = nowMs;
    }
    std::string().swap(_out);
    _outSent = 0;
    return true;
}

bool QueryConnection::handleRecord() {
    XDR in;
    xdrmem_create(&in, _record.data(), static_cast<u_int>(_record.size()), XDR_DECODE);
    rpc_msg call = {};
    char credentials[2 * MAX_AUTH_BYTES];
    call.rm_call.cb_cred.oa_base = credentials;
    call.rm_call.cb_verf.oa_base = credentials + MAX_AUTH_BYTES;
    if (!xdr_callmsg(&in, &call) || call.rm_direction != CALL) {
        xdr_destroy(&in);
        return false;
    }
    _xid = call.rm_xid;
    _replyStarted = false;
    _transport.xp_verf.oa_flavor = AUTH_NONE;
    _transport.xp_verf.oa_base = nullptr;
    _transport.xp_verf.oa_length = 0;
    enum_t flavor = call.rm_call.cb_cred.oa_flavor;
    if (flavor != AUTH_NONE && flavor != AUTH_SYS) {
        svcerr_auth(&_transport, AUTH_REJECTEDCRED);
    } else if (call.rm_call.cb_prog != _program) {
        svcerr_noprog(&_transport);
    } else if (call.rm_call.cb_vers != _version) {
        svcerr_progvers(&_transport, _version, _version);
    } else {
        svc_req request = {};
        request.rq_prog = call.rm_call.cb_prog;
        request.rq_vers = call.rm_call.cb_vers;
        request.rq_proc = call.rm_call.cb_proc;
        request.rq_cred = call.rm_call.cb_cred;
        request.rq_xprt = &_transport;
        _args = &in;
        _dispatch(&request, &_transport);
        _args = nullptr;
    }
    xdr_destroy(&in);
    return true;
}

bool QueryConnection::queueReply(rpc_msg* message) {
    // One reply per call: a second one (an error after a failed reply) is
    // sent only when the first left nothing behind.
    if (_replyStarted)
        return false;
    message->rm_xid = _xid;
    _writtenThrough = 0;
    XDR out;
    xdrrec_create(&out, kFragmentBytes, 0, this, nullptr, appendOut);
    out.x_op = XDR_ENCODE;
    bool ok = xdr_replymsg(&out, message) && xdrrec_endofrecord(&out, TRUE);
    xdr_destroy(&out);
    if (ok) {
        _replyStarted = true;
    } else if (_writtenThrough > 0) {
        // Part of it is on the wire: the stream cannot be mended.
        _broken = true;
        _replyStarted = true;
    } else {
        _out.clear();
        _outSent = 0;
    }
    return ok;
}

bool_t QueryConnection::getArgs(SVCXPRT* transport, xdrproc_t routine, void* where) {
    auto* self = static_cast<QueryConnection*>(transport->xp_p1);
    return self->_args && routine(self->_args, where);
}

bool_t QueryConnection::freeArgs(SVCXPRT*, xdrproc_t routine, void* where) {
    XDR x = {};
    x.x_op = XDR_FREE;
    return routine(&x, where);
}

bool_t QueryConnection::reply(SVCXPRT* transport, rpc_msg* message) {
    return static_cast<QueryConnection*>(transport->xp_p1)->queueReply(message);
}

// Each fragment goes straight to the socket while nothing waits before it;
// what the socket does not take is kept, in order, for onWritable.
int QueryConnection::appendOut(void* handle, void* bytes, int length) {
    auto* self = static_cast<QueryConnection*>(handle);
    const char* at = static_cast<const char*>(bytes);
    size_t left = static_cast<size_t>(length);
    while (left > 0 && !self->wantsWrite() && !self->_broken) {
        ssize_t n = send(self->_fd, at, left, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                self->_broken = true;
            break;
        }
        at += n;
        left -= static_cast<size_t>(n);
        self->_writtenThrough += static_cast<size_t>(n);
    }
    if (!self->_broken)
        self->_out.append(at, left);
    return length;
}
