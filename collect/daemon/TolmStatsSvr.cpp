#include "TolmStatsSvr.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc_com.h>
#include <signal.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sys/resource.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "RecordXdr.h"
#include "SLogger.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"
#include "StatsArrays.h"

TolmStatsSvr* TolmStatsSvr::s_instance = nullptr;

namespace {

constexpr int kPort = 951;
constexpr int kBindAttempts = 90;
constexpr int kBindRetryMs = 2000;
// Largest request record accepted; setting it also makes the RPC library read
// every connection without blocking, assembling records as bytes arrive.
constexpr int kMaxRequestRecord = 64 * 1024;
constexpr int kDefaultIdleSecs = 60;
constexpr int kDefaultMaxConnections = 1000;
// Descriptors kept free for everything else the daemon opens.
constexpr int kReservedDescriptors = 64;

int g_wake[2] = {-1, -1};
std::atomic<bool> g_stopRequested{false};
SVCXPRT* g_listener = nullptr;
std::atomic<int> g_idleSecs{kDefaultIdleSecs};
std::atomic<int> g_maxConnections{0};  // 0: not chosen yet
// An open query connection: when it was accepted or last carried a whole
// request (monotonic milliseconds), and its peer's address, which tells a
// descriptor number the RPC library has reused for a new connection.
struct Connection {
    int64_t lastUse;
    std::string peer;
};
// Open query connections by descriptor. Only the service loop's thread
// touches it.
std::map<int, Connection> g_connections;

int64_t monotonicMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// The pipe is made once, by whichever thread needs it first: the main thread
// (retrying the bind, serving) or a stop request from the signal thread.
bool makeWakePipe() {
    static std::once_flag once;
    static bool made = false;
    std::call_once(once, [] { made = pipe2(g_wake, O_CLOEXEC | O_NONBLOCK) == 0; });
    return made;
}

// Waits up to `ms` for a stop request; true when one came.
bool waitForStop(int ms) {
    if (g_stopRequested) return true;
    if (!makeWakePipe()) {
        poll(nullptr, 0, ms);
    } else {
        pollfd p = {g_wake[0], POLLIN, 0};
        poll(&p, 1, ms);
    }
    return g_stopRequested;
}

int maxConnections() {
    if (g_maxConnections > 0) return g_maxConnections;
    rlimit files;
    int cap = kDefaultMaxConnections;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
        static_cast<long long>(files.rlim_cur) - kReservedDescriptors < cap)
        cap = static_cast<int>(files.rlim_cur) - kReservedDescriptors;
    return cap < 1 ? 1 : cap;
}

std::string peerOf(int fd) {
    sockaddr_storage peer;
    socklen_t length = sizeof peer;
    if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return std::string();
    return std::string(reinterpret_cast<const char*>(&peer), length);
}

// Ends a connection: the RPC library sees the end of its stream at the next
// poll and destroys the transport with its descriptor.
void closeConnection(int fd) {
    shutdown(fd, SHUT_RDWR);
    g_connections.erase(fd);
}

// Closes the connection on `fd` unless the descriptor now belongs to a new
// connection (the old one ended and its number was taken again within one
// pass of the loop): that one starts its idle time now. True when closed.
bool closeUnlessNew(int fd, int64_t now) {
    Connection& c = g_connections[fd];
    std::string peer = peerOf(fd);
    if (peer != c.peer) {
        c = Connection{now, peer};
        return false;
    }
    closeConnection(fd);
    return true;
}

// Brings the table in line with the transports the RPC library holds: new
// connections start their idle time now, closed ones are forgotten.
void trackConnections(const std::vector<pollfd>& fds, int64_t now) {
    std::map<int, Connection> current;
    for (const pollfd& p : fds) {
        if (p.fd < 0 || (g_listener && p.fd == g_listener->xp_fd)) continue;
        auto known = g_connections.find(p.fd);
        current[p.fd] =
            known != g_connections.end() ? known->second : Connection{now, peerOf(p.fd)};
    }
    g_connections.swap(current);
}

// Closes the connections that carried no whole request for the idle time
// (idle ones and ones that send a record a byte at a time alike); when a new
// connection is waiting and the table is full, the least recently used ones
// make room first.
void closeIdleConnections(int64_t now, bool acceptPending) {
    std::vector<int> idle;
    for (const auto& c : g_connections)
        if (now - c.second.lastUse >= int64_t{g_idleSecs} * 1000) idle.push_back(c.first);
    for (int fd : idle) closeUnlessNew(fd, now);
    while (acceptPending && !g_connections.empty() &&
           static_cast<int>(g_connections.size()) >= maxConnections()) {
        auto oldest = g_connections.begin();
        for (auto it = g_connections.begin(); it != g_connections.end(); ++it)
            if (it->second.lastUse < oldest->second.lastUse) oldest = it;
        closeUnlessNew(oldest->first, now);
    }
}

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

// The records of a snapshot, sent straight from it (they never change once
// the snapshot is built; the caller's reference keeps them alive).
NbladeStats* recordOf(Snapshot& s, NbladeStats*) { return s.nblade(); }
DbladeStats* recordOf(Snapshot& s, DbladeStats*) { return s.dblade(); }
LpStatsSet* recordOf(Snapshot& s, LpStatsSet*) { return s.lps(); }
FcdStats* recordOf(Snapshot& s, FcdStats*) { return s.fcds(); }
MgmtProcStats* recordOf(Snapshot& s, MgmtProcStats*) { return s.mgmt(); }

// What "all" sends for a snapshot without the record: a record of zeros.
template <typename T>
T* zeroRecord() {
    static T zero = [] {
        T r;
        memset(&r.data, 0, sizeof r.data);
        return r;
    }();
    return &zero;
}

// Replies with the record of `snapshot` (released here), or with nothing.
template <typename T, RecordXdrFn<T> recordXdr>
bool replyWith(SVCXPRT* transport, Snapshot* snapshot) {
    T* sent = snapshot ? recordOf(*snapshot, static_cast<T*>(nullptr)) : nullptr;
    bool ok = svc_sendreply(transport, xp(recordXdr), reinterpret_cast<caddr_t>(sent));
    if (!ok)
        svcerr_systemerr(transport);
    if (snapshot)
        snapshot->release();
    return ok;
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

// The "all" reply: a count, then per snapshot its timestamp and its record,
// encoded straight from the snapshots of a private copy of the history (one
// reference each), so that no ring lock is held and no record is copied.
template <typename T, RecordXdrFn<T> recordXdr>
bool_t xdrAllReply(XDR* xdrs, void* p) {
    if (xdrs->x_op != XDR_ENCODE)
        return xdrs->x_op == XDR_FREE;
    SnapshotRing* ring = static_cast<SnapshotRing*>(p);
    unsigned int n = ring ? static_cast<unsigned int>(ring->size()) : 0;
    if (!xdr_u_int(xdrs, &n))
        return FALSE;
    if (!ring)
        return TRUE;
    for (auto it = ring->begin(); it != ring->end(); ++it) {
        unsigned int timestamp = static_cast<unsigned int>((*it)->timestamp);
        T* rec = recordOf(**it, static_cast<T*>(nullptr));
        if (!xdr_u_int(xdrs, &timestamp) || !recordXdr(xdrs, rec ? rec : zeroRecord<T>()))
            return FALSE;
    }
    return TRUE;
}

template <typename T, RecordXdrFn<T> recordXdr>
bool sendAll(SVCXPRT* transport, SnapshotProvider* provider) {
    if (!svc_getargs(transport, xp(xdr_void), nullptr)) {
        svcerr_decode(transport);
        return false;
    }
    SnapshotRing* ring = provider->getAllSnapshots();
    bool ok = svc_sendreply(transport, xp(xdrAllReply<T, recordXdr>),
                            reinterpret_cast<caddr_t>(ring));
    if (!ok)
        svcerr_systemerr(transport);
    delete ring;
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
        // The pause between attempts ends early for a stop request.
        if (waitForStop(kBindRetryMs)) {
            close(sock);
            return;
        }
    }
    // The transport takes connections on the socket as it is: listen first.
    listen(sock, SOMAXCONN);
    // No client may hold the service: connections are read without blocking
    // (a half-sent record waits in its own buffer), and a reply to a client
    // that stops reading is given up after two seconds.
    int maxRecord = kMaxRequestRecord;
    rpc_control(RPC_SVC_CONNMAXREC_SET, &maxRecord);
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
        svc_destroy(transport);
        return;
    }
    g_listener = transport;
}

void TolmStatsSvr::destroyServer() {
    svc_unregister(RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1);
    pmap_unset(RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1);
    for (auto& c : std::map<int, Connection>(g_connections)) closeConnection(c.first);
    if (g_listener) {
        svc_destroy(g_listener);
        g_listener = nullptr;
    }
    delete s_instance;
    s_instance = nullptr;
    // Ready for another server in the same process (tests make several).
    char drained[16];
    while (makeWakePipe() && read(g_wake[0], drained, sizeof drained) > 0) {
    }
    g_stopRequested = false;
}

void TolmStatsSvr::attachProvider(SnapshotProvider* provider) {
    delete s_instance;
    s_instance = provider ? new TolmStatsSvr(provider) : nullptr;
}

void TolmStatsSvr::setConnectionLimits(int idleSecs, int maxConnections) {
    g_idleSecs = idleSecs;
    g_maxConnections = maxConnections;
}

void TolmStatsSvr::startServer() {
    if (!makeWakePipe()) {
        svc_run();
        return;
    }
    // svc_run with one more descriptor (the pipe that stopServer writes to)
    // and the connection table: idle connections are closed, and the oldest
    // make room when the table is full.
    while (!g_stopRequested) {
        std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
        trackConnections(fds, monotonicMs());
        fds.push_back(pollfd{g_wake[0], POLLIN, 0});
        // Wake once a second to close what went idle.
        int n = poll(fds.data(), fds.size(), g_connections.empty() ? -1 : 1000);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SLogger::err("service loop poll failed: %d", errno);
            break;
        }
        if (fds.back().revents)
            break;
        fds.pop_back();
        bool acceptPending = false;
        for (const pollfd& p : fds)
            if (g_listener && p.fd == g_listener->xp_fd && p.revents) acceptPending = true;
        closeIdleConnections(monotonicMs(), acceptPending);
        if (n > 0)
            svc_getreq_poll(fds.data(), n);
    }
}

void TolmStatsSvr::stopServer() {
    g_stopRequested = true;
    if (!makeWakePipe())
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
    // A whole request arrived: the connection is in use.
    auto connection = g_connections.find(transport->xp_fd);
    if (connection != g_connections.end())
        connection->second.lastUse = monotonicMs();
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
            return sendAll<NbladeStats, xdr_NbladeStats>(transport, p);
        case TOLMSTATS_DBLADE_EARLIEST:
            return sendEarliest<DbladeStats, xdr_DbladeStats>(transport, p);
        case TOLMSTATS_DBLADE_LATEST:
            return sendLatest<DbladeStats, xdr_DbladeStats>(transport, p);
        case TOLMSTATS_DBLADE_SNAPSHOT:
            return sendSnapshot<DbladeStats, xdr_DbladeStats>(transport, p);
        case TOLMSTATS_DBLADE_ALL:
            return sendAll<DbladeStats, xdr_DbladeStats>(transport, p);
        case TOLMSTATS_LP_EARLIEST:
            return sendEarliest<LpStatsSet, xdr_LpStatsSet>(transport, p);
        case TOLMSTATS_LP_LATEST:
            return sendLatest<LpStatsSet, xdr_LpStatsSet>(transport, p);
        case TOLMSTATS_LP_SNAPSHOT:
            return sendSnapshot<LpStatsSet, xdr_LpStatsSet>(transport, p);
        case TOLMSTATS_LP_ALL:
            return sendAll<LpStatsSet, xdr_LpStatsSet>(transport, p);
        case TOLMSTATS_FCD_EARLIEST:
            return sendEarliest<FcdStats, xdr_FcdStats>(transport, p);
        case TOLMSTATS_FCD_LATEST:
            return sendLatest<FcdStats, xdr_FcdStats>(transport, p);
        case TOLMSTATS_FCD_SNAPSHOT:
            return sendSnapshot<FcdStats, xdr_FcdStats>(transport, p);
        case TOLMSTATS_FCD_ALL:
            return sendAll<FcdStats, xdr_FcdStats>(transport, p);
        case TOLMSTATS_MGMTPROC_EARLIEST:
            return sendEarliest<MgmtProcStats, xdr_MgmtProcStats>(transport, p);
        case TOLMSTATS_MGMTPROC_LATEST:
            return sendLatest<MgmtProcStats, xdr_MgmtProcStats>(transport, p);
        case TOLMSTATS_MGMTPROC_SNAPSHOT:
            return sendSnapshot<MgmtProcStats, xdr_MgmtProcStats>(transport, p);
        case TOLMSTATS_MGMTPROC_ALL:
            return sendAll<MgmtProcStats, xdr_MgmtProcStats>(transport, p);
        case TOLMSTATS_TIMESTAMPS:
            return sendTimestamps(transport, p);
        default:
            svcerr_noproc(transport);
            return false;
    }
}
