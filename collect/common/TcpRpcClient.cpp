#include "TcpRpcClient.h"

#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// The handle's state behind the CLIENT the callers see (the CLIENT comes
// first, so a CLIENT* is the state's address).
struct TcpRpcState {
    CLIENT client;
    int fd;
    sockaddr_in server;
    rpcprog_t prog;
    rpcvers_t vers;
    uint32_t xid;
    XDR xdrs;
    rpc_err error;
    timeval timeout;  // the socket's, as last set
};

TcpRpcState* stateOf(CLIENT* c) {
    return reinterpret_cast<TcpRpcState*>(c);
}

int readSome(void* handle, void* buf, int len) {
    TcpRpcState* s = static_cast<TcpRpcState*>(handle);
    for (;;) {
        ssize_t n = ::read(s->fd, buf, static_cast<size_t>(len));
        if (n > 0)
            return static_cast<int>(n);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0) {
            s->error.re_status = RPC_CANTRECV;
            s->error.re_errno = ECONNRESET;
        } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
            s->error.re_status = RPC_TIMEDOUT;
        } else {
            s->error.re_status = RPC_CANTRECV;
            s->error.re_errno = errno;
        }
        return -1;
    }
}

int writeAll(void* handle, void* buf, int len) {
    TcpRpcState* s = static_cast<TcpRpcState*>(handle);
    const char* p = static_cast<const char*>(buf);
    int left = len;
    while (left > 0) {
        ssize_t n = ::send(s->fd, p, static_cast<size_t>(left), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            s->error.re_status = RPC_CANTSEND;
            s->error.re_errno = n < 0 ? errno : EPIPE;
            return -1;
        }
        p += n;
        left -= static_cast<int>(n);
    }
    return len;
}

// The results are read apart, once the header is known to be ours.
bool_t noResults(XDR*, ...) {
    return TRUE;
}

void setTimeout(TcpRpcState* s, timeval t) {
    if (t.tv_sec == s->timeout.tv_sec && t.tv_usec == s->timeout.tv_usec)
        return;
    setsockopt(s->fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    s->timeout = t;
}

clnt_stat call(CLIENT* c, rpcproc_t proc, xdrproc_t xargs, void* args, xdrproc_t xresults,
               void* results, timeval timeout) {
    TcpRpcState* s = stateOf(c);
    XDR* xdrs = &s->xdrs;
    setTimeout(s, timeout);
    s->error = rpc_err{};
    s->error.re_status = RPC_SUCCESS;
    const uint32_t xid = ++s->xid;

    rpc_msg msg = nullAuthCall(xid, s->prog, s->vers, proc);
    msg.rm_call.cb_cred = c->cl_auth->ah_cred;
    msg.rm_call.cb_verf = c->cl_auth->ah_verf;
    xdrs->x_op = XDR_ENCODE;
    if (!xdr_callmsg(xdrs, &msg) || !xargs(xdrs, args)) {
        if (s->error.re_status == RPC_SUCCESS)
            s->error.re_status = RPC_CANTENCODEARGS;
        (void)xdrrec_endofrecord(xdrs, TRUE);
        return s->error.re_status;
    }
    if (!xdrrec_endofrecord(xdrs, TRUE)) {
        if (s->error.re_status == RPC_SUCCESS)
            s->error.re_status = RPC_CANTSEND;
        return s->error.re_status;
    }

    // The reply's header first; a record whose header cannot be read and a
    // reply to an earlier call (one that timed out) are skipped.
    xdrs->x_op = XDR_DECODE;
    rpc_msg reply;
    for (;;) {
        reply = rpc_msg{};
        reply.acpted_rply.ar_verf = _null_auth;
        reply.acpted_rply.ar_results.where = nullptr;
        reply.acpted_rply.ar_results.proc = noResults;
        if (!xdrrec_skiprecord(xdrs))
            return s->error.re_status == RPC_SUCCESS ? RPC_CANTRECV : s->error.re_status;
        if (!xdr_replymsg(xdrs, &reply)) {
            if (s->error.re_status == RPC_SUCCESS)
                continue;
            return s->error.re_status;
        }
        if (reply.rm_xid == xid)
            break;
    }
    _seterr_reply(&reply, &s->error);
    if (s->error.re_status == RPC_SUCCESS) {
        if (!AUTH_VALIDATE(c->cl_auth, &reply.acpted_rply.ar_verf)) {
            s->error.re_status = RPC_AUTHERROR;
            s->error.re_why = AUTH_INVALIDRESP;
        } else if (!xresults(xdrs, results)) {
            if (s->error.re_status == RPC_SUCCESS)
                s->error.re_status = RPC_CANTDECODERES;
        }
    }
    freeReplyVerifier(&reply);
    return s->error.re_status;
}

void abortCall(CLIENT*) {}

void getError(CLIENT* c, rpc_err* err) {
    *err = stateOf(c)->error;
}

bool_t freeResults(CLIENT*, xdrproc_t xresults, void* results) {
    xdr_free(xresults, results);
    return TRUE;
}

void destroy(CLIENT* c) {
    TcpRpcState* s = stateOf(c);
    // The AUTH_NONE handle is the library's shared one, kept.
    XDR_DESTROY(&s->xdrs);
    ::close(s->fd);
    delete s;
}

bool_t control(CLIENT* c, u_int request, void* info) {
    TcpRpcState* s = stateOf(c);
    switch (request) {
        case CLSET_FD_CLOSE:
        case CLSET_FD_NCLOSE:
            return TRUE;
        case CLGET_FD:
            *static_cast<int*>(info) = s->fd;
            return TRUE;
        case CLGET_SERVER_ADDR:
            memcpy(info, &s->server, sizeof s->server);
            return TRUE;
        case CLSET_TIMEOUT:
            setTimeout(s, *static_cast<timeval*>(info));
            return TRUE;
        case CLGET_TIMEOUT:
            *static_cast<timeval*>(info) = s->timeout;
            return TRUE;
        case CLGET_XID:
            *static_cast<uint32_t*>(info) = s->xid;
            return TRUE;
        case CLGET_PROG:
            *static_cast<rpcprog_t*>(info) = s->prog;
            return TRUE;
        case CLGET_VERS:
            *static_cast<rpcvers_t*>(info) = s->vers;
            return TRUE;
        default:
            return FALSE;
    }
}

CLIENT::clnt_ops kOps = {call, abortCall, getError, freeResults, destroy, control};

}  // namespace

uint32_t takeXids(uint32_t count) {
    static std::atomic<uint32_t> next{[] {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        return static_cast<uint32_t>(getpid()) ^ static_cast<uint32_t>(now.tv_sec) ^
               static_cast<uint32_t>(now.tv_nsec);
    }()};
    return next.fetch_add(count);
}

void freeReplyVerifier(rpc_msg* reply) {
    if (reply->acpted_rply.ar_verf.oa_base == nullptr)
        return;
    XDR freer;
    freer.x_op = XDR_FREE;
    (void)xdr_opaque_auth(&freer, &reply->acpted_rply.ar_verf);
}

CLIENT* tcpRpcClient(int fd, const sockaddr_in& server, rpcprog_t prog, rpcvers_t vers) {
    // The library's one AUTH_NONE handle, asked for once (every call of
    // authnone_create takes the library's lock).
    static AUTH* const none = authnone_create();
    AUTH* auth = none;
    if (auth == nullptr) {
        rpc_createerr.cf_stat = RPC_SYSTEMERROR;
        rpc_createerr.cf_error.re_errno = ENOMEM;
        ::close(fd);
        return nullptr;
    }
    TcpRpcState* s = new TcpRpcState();
    s->fd = fd;
    s->server = server;
    s->prog = prog;
    s->vers = vers;
    // Every handle starts from a different xid, as the library's do.
    s->xid = takeXids(0x10000);
    xdrrec_create(&s->xdrs, 0, 0, s, readSome, writeAll);
    s->client.cl_ops = &kOps;
    s->client.cl_auth = auth;
    s->client.cl_private = s;
    s->client.cl_netid = nullptr;
    s->client.cl_tp = nullptr;
    return &s->client;
}

rpc_msg nullAuthCall(uint32_t xid, rpcprog_t prog, rpcvers_t vers, rpcproc_t proc) {
    rpc_msg msg = {};
    msg.rm_xid = xid;
    msg.rm_direction = CALL;
    msg.rm_call.cb_rpcvers = RPC_MSG_VERSION;
    msg.rm_call.cb_prog = prog;
    msg.rm_call.cb_vers = vers;
    msg.rm_call.cb_proc = proc;
    msg.rm_call.cb_cred = _null_auth;
    msg.rm_call.cb_verf = _null_auth;
    return msg;
}
