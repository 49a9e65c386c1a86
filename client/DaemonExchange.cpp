#include "DaemonExchange.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "DaemonReplies.h"
#include "TcpRpcClient.h"
#include "tolmstats.h"

namespace {

constexpr uint32_t kLastFragment = 0x80000000u;
// A reply longer than this is taken for a damaged length: the largest, an
// LP record of every pool and volume, is some megabytes.
constexpr size_t kLongestReply = 256u << 20;

}  // namespace

DaemonExchange::DaemonExchange(int fd, RecordType type, size_t count)
    : _fd(fd), _type(type), _count(count) {
    ask(TOLMSTATS_TIMESTAMPS, nullptr);
    write();
}

DaemonExchange::~DaemonExchange() {
    if (_fd < 0)
        return;
    // Once every reply is read nothing is left to say either way: the
    // connection is reset rather than closed, which spares both ends the
    // closing handshake and this one a socket in TIME_WAIT for every node.
    if (_state == State::Done) {
        linger now = {1, 0};
        setsockopt(_fd, SOL_SOCKET, SO_LINGER, &now, sizeof now);
    }
    close(_fd);
}

short DaemonExchange::events() const {
    return _out.empty() ? POLLIN : POLLOUT;
}

// The call's record: its mark, then the call header with no credentials,
// then the timestamp argument of a record call.
void DaemonExchange::ask(rpcproc_t proc, const uint32_t* stamp) {
    const uint32_t xid = takeXids(1);
    rpc_msg msg = nullAuthCall(xid, RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1, proc);
    char buf[64];
    XDR x;
    xdrmem_create(&x, buf + 4, sizeof buf - 4, XDR_ENCODE);
    uint32_t argument = stamp ? *stamp : 0;
    bool ok = xdr_callmsg(&x, &msg) && (!stamp || xdr_u_int(&x, &argument));
    u_int len = xdr_getpos(&x);
    xdr_destroy(&x);
    if (!ok)
        return fail(clnt_sperrno(RPC_CANTENCODEARGS));
    uint32_t mark = htonl(kLastFragment | len);
    memcpy(buf, &mark, 4);
    _out.append(buf, len + 4);
    _calls[xid] = Call{stamp == nullptr, argument};
}

// Asks for as many of the newest snapshots not asked yet as are still
// wanted, all in one write.
void DaemonExchange::askRecords() {
    size_t wanted = _count > _found.size() ? _count - _found.size() : 0;
    while (_calls.size() < wanted && _older > 0 && _state == State::Asking)
        ask(recordProcedures(_type).snapshot, &_stamps[--_older]);
    if (_calls.empty() && _state == State::Asking)
        _state = State::Done;
}

void DaemonExchange::write() {
    while (!_out.empty() && _state == State::Asking) {
        ssize_t n = send(_fd, _out.data(), _out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            _written += static_cast<size_t>(n);
            _out.erase(0, static_cast<size_t>(n));
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return;
        } else {
            int e = n < 0 ? errno : EPIPE;
            _refused = e == ECONNREFUSED && _written == 0;
            return fail(std::string("RPC: Unable to send; errno = ") + strerror(e));
        }
    }
}

void DaemonExchange::read() {
    char chunk[1 << 16];
    while (_state == State::Asking) {
        ssize_t n = recv(_fd, chunk, sizeof chunk, MSG_DONTWAIT);
        if (n > 0) {
            _in.append(chunk, static_cast<size_t>(n));
            takeFragments();
        } else if (n == 0) {
            return fail("RPC: Unable to receive; the daemon closed the connection");
        } else if (errno == EINTR) {
            continue;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            return;
        } else {
            int e = errno;
            _refused = e == ECONNREFUSED && _written == 0;
            return fail(std::string("RPC: Unable to receive; errno = ") + strerror(e));
        }
    }
}

void DaemonExchange::advance() {
    if (_state != State::Asking)
        return;
    write();
    read();
    // Replies may have asked for more.
    write();
}

// Record marking: each fragment a 4-byte mark (the top bit for the last of
// a reply, the rest its length), then its bytes.
void DaemonExchange::takeFragments() {
    size_t at = 0;
    while (_state == State::Asking && _in.size() - at >= 4) {
        uint32_t mark;
        memcpy(&mark, _in.data() + at, 4);
        mark = ntohl(mark);
        size_t len = mark & ~kLastFragment;
        if (_message.size() + len > kLongestReply)
            return fail("RPC: Can't decode result; a reply of more than 256 MiB");
        if (_in.size() - at - 4 < len)
            break;
        _message.append(_in, at + 4, len);
        at += 4 + len;
        if (mark & kLastFragment) {
            std::string message;
            message.swap(_message);
            reply(message);
        }
    }
    _in.erase(0, at);
}

void DaemonExchange::reply(const std::string& message) {
    uint32_t xid;
    if (message.size() < 4)
        return fail(clnt_sperrno(RPC_CANTDECODERES));
    memcpy(&xid, message.data(), 4);
    auto call = _calls.find(ntohl(xid));
    if (call == _calls.end())
        return;  // not a call of ours: passed over
    Call asked = call->second;
    _calls.erase(call);

    tolm_timestamps ts = {0, nullptr};
    DaemonReply record{_type, nullptr, nullptr};
    rpc_msg msg = {};
    msg.acpted_rply.ar_verf = _null_auth;
    if (asked.timestamps) {
        msg.acpted_rply.ar_results.where = reinterpret_cast<caddr_t>(&ts);
        msg.acpted_rply.ar_results.proc = asXdrProc(xdr_tolm_timestamps);
    } else {
        msg.acpted_rply.ar_results.where = reinterpret_cast<caddr_t>(&record);
        msg.acpted_rply.ar_results.proc = asXdrProc(xdrRecordReply);
    }
    XDR x;
    xdrmem_create(&x, const_cast<char*>(message.data()), static_cast<u_int>(message.size()),
                  XDR_DECODE);
    bool decoded = xdr_replymsg(&x, &msg);
    xdr_destroy(&x);
    rpc_err err = {};
    if (decoded)
        _seterr_reply(&msg, &err);
    freeReplyVerifier(&msg);
    if (asked.timestamps) {
        _stamps.assign(ts.tolm_timestamps_val, ts.tolm_timestamps_val + ts.tolm_timestamps_len);
        xdr_free(asXdrProc(xdr_tolm_timestamps), reinterpret_cast<char*>(&ts));
    }
    if (!decoded)
        return fail(clnt_sperrno(RPC_CANTDECODERES));
    if (err.re_status != RPC_SUCCESS)
        return fail(clnt_sperrno(err.re_status));
    if (asked.timestamps) {
        if (!std::is_sorted(_stamps.begin(), _stamps.end()))
            std::sort(_stamps.begin(), _stamps.end());
        _older = _stamps.size();
    } else if (record.record) {
        _found.push_back(HistoryEntry{asked.stamp, std::move(record.record)});
    }
    askRecords();
}

void DaemonExchange::fail(const std::string& why) {
    _state = State::Failed;
    _error = why;
    _out.clear();
}

std::vector<HistoryEntry> DaemonExchange::take() {
    std::vector<HistoryEntry> out;
    if (_state != State::Done)
        return out;
    out.swap(_found);
    std::sort(out.begin(), out.end(),
              [](const HistoryEntry& a, const HistoryEntry& b) { return a.stamp < b.stamp; });
    return out;
}
