#include "TolmStatsSvr.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/pmap_clnt.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

#include "RecordXdr.h"
#include "SLogger.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "StatsArrays.h"

TolmStatsSvr* TolmStatsSvr::s_instance = nullptr;

namespace {

constexpr int kPort = 951;
constexpr int kBindAttempts = 90;
int g_wake[2] = {-1, -1};

enum Proc {
    TOLMSTATS_NULL = 0,
    TOLMSTATS_NBLADE_EARLIEST,
    TOLMSTATS_NBLADE_LATEST,
    TOLMSTATS_NBLADE_SNAPSHOT,
    TOLMSTATS_NBLADE_ALL,
    TOLMSTATS_DBLADE_EARLIEST,
    TOLMSTATS_DBLADE_LATEST,
    TOLMSTATS_DBLADE_SNAPSHOT,
    TOLMSTATS_DBLADE_ALL,
    TOLMSTATS_LP_EARLIEST,
    TOLMSTATS_LP_LATEST,
    TOLMSTATS_LP_SNAPSHOT,
    TOLMSTATS_LP_ALL,
    TOLMSTATS_FCD_EARLIEST,
    TOLMSTATS_FCD_LATEST,
    TOLMSTATS_FCD_SNAPSHOT,
    TOLMSTATS_FCD_ALL,
    TOLMSTATS_MGMTPROC_EARLIEST,
    TOLMSTATS_MGMTPROC_LATEST,
    TOLMSTATS_MGMTPROC_SNAPSHOT,
    TOLMSTATS_MGMTPROC_ALL,
    TOLMSTATS_TIMESTAMPS,
};

// XDR routines of every signature travel as xdrproc_t.
template <typename F>
xdrproc_t xp(F f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

template <typename T>
using RecordXdrFn = bool_t (*)(XDR*, T*);

// Replies with the record of `snapshot` (released here), or with nothing.
template <typename T, RecordXdrFn<T> recordXdr>
bool replyWith(SVCXPRT* transport, Snapshot* snapshot) {
    T rec;
    T* sent = nullptr;
    if (snapshot) {
        if (snapshot->getStats(&rec))
            sent = &rec;
        snapshot->release();
    }
    if (!svc_sendreply(transport, xp(recordXdr), reinterpret_cast<caddr_t>(sent))) {
        svcerr_systemerr(transport);
        return false;
    }
    return true;
}

template <typename T, RecordXdrFn<T> recordXdr>
bool sendEarliest(SVCXPRT* transport, SnapshotProvider* provider) {
    if (!svc_getargs(transport, xp(xdr_void), nullptr)) {
        svcerr_decode(transport);
        return false;
    }
    return replyWith<T, recordXdr>(transport, provider->getEarliestSnapshot());
}

template <typename T, RecordXdrFn<T> recordXdr>
bool sendLatest(SVCXPRT* transport, SnapshotProvider* provider) {
    if (!svc_getargs(transport, xp(xdr_void), nullptr)) {
        svcerr_decode(transport);
        return false;
    }
    return replyWith<T, recordXdr>(transport, provider->getLatestSnapshot());
}

template <typename T, RecordXdrFn<T> recordXdr>
bool sendSnapshot(SVCXPRT* transport, SnapshotProvider* provider) {
    unsigned int timestamp = 0;
    if (!svc_getargs(transport, xp(xdr_u_int), reinterpret_cast<caddr_t>(&timestamp))) {
        svcerr_decode(transport);
        return false;
    }
    return replyWith<T, recordXdr>(transport, provider->getSnapshot(timestamp));
}

template <typename Array>
bool sendAll(SVCXPRT* transport, SnapshotProvider* provider, bool_t (*arrayXdr)(XDR*, void*)) {
    if (!svc_getargs(transport, xp(xdr_void), nullptr)) {
        svcerr_decode(transport);
        return false;
    }
    Array* array = new Array(*provider);
    bool ok = svc_sendreply(transport, xp(arrayXdr), reinterpret_cast<caddr_t>(array));
    if (!ok)
        svcerr_systemerr(transport);
    delete array;
    return ok;
}

bool sendTimestamps(SVCXPRT* transport, SnapshotProvider* provider) {
    std::vector<unsigned int> ts;
    provider->getTimestamps(ts);
    if (!svc_getargs(transport, xp(xdr_void), nullptr)) {
        svcerr_decode(transport);
        return false;
    }
    if (!svc_sendreply(transport, xp(xdr_U32Vector), reinterpret_cast<caddr_t>(&ts))) {
        svcerr_systemerr(transport);
        return false;
    }
    return true;
}

}  // namespace

void TolmStatsSvr::createServer(SnapshotProvider* provider) {
    if (s_instance) {
        SLogger::warning("server already started");
        return;
    }
    s_instance = new TolmStatsSvr(provider);
    // A client that disconnects must not end the daemon.
    signal(SIGPIPE, SIG_IGN);
    pmap_unset(RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1);

    int sock = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (sock < 0) {
        SLogger::warning("failed to create socket: %d", errno);
        return;
    }
    int one = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(kPort);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    int attempt = 0;
    while (bind(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        if (++attempt == kBindAttempts) {
            SLogger::err("failed to bind socket: %d", errno);
            close(sock);
            return;
        }
        timeval wait = {2, 0};
        select(0, nullptr, nullptr, nullptr, &wait);
    }
    // The transport takes connections on the socket as it is: listen first.
    listen(sock, SOMAXCONN);
    SVCXPRT* transport = svctcp_create(sock, 0, 0);
    if (!transport) {
        SLogger::err("failed to create TCP service: %d", errno);
        close(sock);
        return;
    }
    if (!svc_register(transport, RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1, dispatch,
                      IPPROTO_TCP)) {
        SLogger::err("unable to register (RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1, tcp): %d",
                     errno);
        close(sock);
        return;
    }
}

void TolmStatsSvr::startServer() {
    if (g_wake[0] < 0 && pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        svc_run();
        return;
    }
    // svc_run with one more descriptor: the pipe that stopServer writes to.
    for (;;) {
        std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
        fds.push_back(pollfd{g_wake[0], POLLIN, 0});
        int n = poll(fds.data(), fds.size(), -1);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SLogger::err("service loop poll failed: %d", errno);
            break;
        }
        if (fds.back().revents)
            break;
        fds.pop_back();
        svc_getreq_poll(fds.data(), n);
    }
    svc_exit();
}

void TolmStatsSvr::stopServer() {
    if (g_wake[1] < 0 && pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    char c = 1;
    if (write(g_wake[1], &c, 1) < 0) {
        // The pipe is full: a stop is already pending.
    }
}

void TolmStatsSvr::dispatch(svc_req* request, SVCXPRT* transport) {
    if (!s_instance)
        throw std::logic_error("server not initialized");
    s_instance->_dispatch(request, transport);
}

bool TolmStatsSvr::_dispatch(svc_req* request, SVCXPRT* transport) {
    SnapshotProvider* p = _provider;
    switch (request->rq_proc) {
        case TOLMSTATS_NULL:
            return svc_sendreply(transport, xp(xdr_void), nullptr);
        case TOLMSTATS_NBLADE_EARLIEST:
            return sendEarliest<NbladeStats, xdr_NbladeStats>(transport, p);
        case TOLMSTATS_NBLADE_LATEST:
            return sendLatest<NbladeStats, xdr_NbladeStats>(transport, p);
        case TOLMSTATS_NBLADE_SNAPSHOT:
            return sendSnapshot<NbladeStats, xdr_NbladeStats>(transport, p);
        case TOLMSTATS_NBLADE_ALL:
            return sendAll<NbladeStatsArray>(transport, p, xdr_NbladeStatsArray);
        case TOLMSTATS_DBLADE_EARLIEST:
            return sendEarliest<DbladeStats, xdr_DbladeStats>(transport, p);
        case TOLMSTATS_DBLADE_LATEST:
            return sendLatest<DbladeStats, xdr_DbladeStats>(transport, p);
        case TOLMSTATS_DBLADE_SNAPSHOT:
            return sendSnapshot<DbladeStats, xdr_DbladeStats>(transport, p);
        case TOLMSTATS_DBLADE_ALL:
            return sendAll<DbladeStatsArray>(transport, p, xdr_DbladeStatsArray);
        case TOLMSTATS_LP_EARLIEST:
            return sendEarliest<LpStatsSet, xdr_LpStatsSet>(transport, p);
        case TOLMSTATS_LP_LATEST:
            return sendLatest<LpStatsSet, xdr_LpStatsSet>(transport, p);
        case TOLMSTATS_LP_SNAPSHOT:
            return sendSnapshot<LpStatsSet, xdr_LpStatsSet>(transport, p);
        case TOLMSTATS_LP_ALL:
            return sendAll<LpStatsSetArray>(transport, p, xdr_LpStatsSetArray);
        case TOLMSTATS_FCD_EARLIEST:
            return sendEarliest<FcdStats, xdr_FcdStats>(transport, p);
        case TOLMSTATS_FCD_LATEST:
            return sendLatest<FcdStats, xdr_FcdStats>(transport, p);
        case TOLMSTATS_FCD_SNAPSHOT:
            return sendSnapshot<FcdStats, xdr_FcdStats>(transport, p);
        case TOLMSTATS_FCD_ALL:
            return sendAll<FcdStatsArray>(transport, p, xdr_FcdStatsArray);
        case TOLMSTATS_MGMTPROC_EARLIEST:
            return sendEarliest<MgmtProcStats, xdr_MgmtProcStats>(transport, p);
        case TOLMSTATS_MGMTPROC_LATEST:
            return sendLatest<MgmtProcStats, xdr_MgmtProcStats>(transport, p);
        case TOLMSTATS_MGMTPROC_SNAPSHOT:
            return sendSnapshot<MgmtProcStats, xdr_MgmtProcStats>(transport, p);
        case TOLMSTATS_MGMTPROC_ALL:
            return sendAll<MgmtProcStatsArray>(transport, p, xdr_MgmtProcStatsArray);
        case TOLMSTATS_TIMESTAMPS:
            return sendTimestamps(transport, p);
        default:
            svcerr_noproc(transport);
            return false;
    }
}
