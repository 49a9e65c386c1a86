#include "TolmStatsSvr.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <rpc/pmap_clnt.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "QueryConnection.h"
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
// Largest call record accepted (a call is its header, credentials of at most
// 400 bytes and a timestamp); a larger one ends its connection.
constexpr size_t kMaxRequestRecord = 64 * 1024;
// Connections accepted in one pass of the loop.
constexpr int kAcceptsPerPass = 64;
// Descriptors kept free for everything else the daemon opens.
constexpr int kReservedDescriptors = 64;

int g_wake[2] = {-1, -1};
std::atomic<bool> g_stopRequested{false};
int g_listenFd = -1;
std::mutex g_limitsLock;
TolmStatsSvr::Limits g_limits;
// Open query connections by descriptor. Only the service loop's thread
// touches it (and destroyServer, once the loop has ended).
std::map<int, std::unique_ptr<QueryConnection>> g_connections;

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
    if (g_stopRequested)
        return true;
    if (!makeWakePipe()) {
        poll(nullptr, 0, ms);
    } else {
        pollfd p = {g_wake[0], POLLIN, 0};
        poll(&p, 1, ms);
    }
    return g_stopRequested;
}

TolmStatsSvr::Limits currentLimits() {
    std::lock_guard<std::mutex> hold(g_limitsLock);
    TolmStatsSvr::Limits limits = g_limits;
    rlimit files;
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY &&
        static_cast<long long>(files.rlim_cur) - kReservedDescriptors < limits.maxConnections)
        limits.maxConnections = static_cast<int>(files.rlim_cur) - kReservedDescriptors;
    if (limits.maxConnections < 1)
        limits.maxConnections = 1;
    return limits;
}

void closeConnection(int fd, const char* why) {
    auto it = g_connections.find(fd);
    if (it == g_connections.end())
        return;
    if (why)
        SLogger::info("closing query connection from %s: %s", it->second->peer().c_str(), why);
    g_connections.erase(it);
}

// Connections that carried no whole call for the idle time (idle ones and
// ones that send a record a byte at a time alike), and ones whose client has
// taken no byte of its reply for the stall time.
void closeExpired(int64_t now, const TolmStatsSvr::Limits& limits) {
    std::vector<int> idle, stalled;
    for (const auto& c : g_connections) {
        const QueryConnection& q = *c.second;
        if (q.wantsWrite()) {
            if (now - q.lastDrain() >= int64_t{limits.stallSecs} * 1000)
                stalled.push_back(c.first);
        } else if (now - q.lastUse() >= int64_t{limits.idleSecs} * 1000) {
            idle.push_back(c.first);
        }
    }
    for (int fd : idle)
        closeConnection(fd, nullptr);
    for (int fd : stalled)
        closeConnection(fd, "its reply is not being read");
}

// Makes room for one more connection: the least recently used of those with
// no reply pending goes; when every one has a reply pending, the one that has
// taken nothing for the longest.
void makeRoom() {
    auto victim = g_connections.end();
    for (auto it = g_connections.begin(); it != g_connections.end(); ++it) {
        if (it->second->wantsWrite())
            continue;
        if (victim == g_connections.end() || it->second->lastUse() < victim->second->lastUse())
            victim = it;
    }
    if (victim != g_connections.end()) {
        g_connections.erase(victim);
        return;
    }
    for (auto it = g_connections.begin(); it != g_connections.end(); ++it)
        if (victim == g_connections.end() || it->second->lastDrain() < victim->second->lastDrain())
            victim = it;
    if (victim != g_connections.end())
        closeConnection(victim->first, "connection limit reached");
}

// While the replies waiting for their clients hold more than the cap, the
// client that has taken nothing for the longest is closed; a lone reply is
// always kept.
void enforceBufferCap(const TolmStatsSvr::Limits& limits) {
    for (;;) {
        size_t total = 0;
        int pending = 0;
        auto slowest = g_connections.end();
        for (auto it = g_connections.begin(); it != g_connections.end(); ++it) {
            if (!it->second->wantsWrite())
                continue;
            total += it->second->pendingBytes();
            pending++;
            if (slowest == g_connections.end() ||
                it->second->lastDrain() < slowest->second->lastDrain())
                slowest = it;
        }
        if (total <= limits.maxBufferedBytes || pending < 2)
            return;
        closeConnection(slowest->first, "replies waiting for their clients are over the cap");
    }
}

// Takes the connections waiting on the listening socket. False when
// descriptors ran out with nothing left to close: the caller pauses accepting.
bool acceptConnections(int64_t now, const TolmStatsSvr::Limits& limits) {
    for (int i = 0; i < kAcceptsPerPass; i++) {
        int fd = accept4(g_listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            if (errno == EMFILE || errno == ENFILE) {
                if (g_connections.empty())
                    return false;
                makeRoom();
                continue;
            }
            return true;
        }
        while (!g_connections.empty() &&
               static_cast<int>(g_connections.size()) >= limits.maxConnections)
            makeRoom();
        if (limits.socketSendBytes > 0)
            setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &limits.socketSendBytes,
                       sizeof limits.socketSendBytes);
        g_connections[fd] =
            std::make_unique<QueryConnection>(fd, now, kMaxRequestRecord, RPCPROG_TOLMSTATSD,
                                              TOLMSTATS_RPC_VERSION_1, TolmStatsSvr::dispatch);
    }
    return true;
}

// XDR routines of every signature travel as xdrproc_t.
template <typename F>
xdrproc_t xp(F f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

template <typename T>
using RecordXdrFn = bool_t (*)(XDR*, T*);

// The records of a snapshot, sent straight from it (they never change once
// the snapshot is built; the caller's reference keeps them alive).
NbladeStats* recordOf(Snapshot& s, NbladeStats*) {
    return s.nblade();
}
DbladeStats* recordOf(Snapshot& s, DbladeStats*) {
    return s.dblade();
}
LpStatsSet* recordOf(Snapshot& s, LpStatsSet*) {
    return s.lps();
}
FcdStats* recordOf(Snapshot& s, FcdStats*) {
    return s.fcds();
}
MgmtProcStats* recordOf(Snapshot& s, MgmtProcStats*) {
    return s.mgmt();
}

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
    tolm_timestamp timestamp = 0;
    if (!svc_getargs(transport, xp(xdr_tolm_timestamp), reinterpret_cast<caddr_t>(&timestamp))) {
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
    bool ok =
        svc_sendreply(transport, xp(xdrAllReply<T, recordXdr>), reinterpret_cast<caddr_t>(ring));
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
    if (listen(sock, SOMAXCONN) != 0) {
        SLogger::err("failed to listen: %d", errno);
        close(sock);
        return;
    }
    fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
    fcntl(sock, F_SETFD, FD_CLOEXEC);
    if (!pmap_set(RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1, IPPROTO_TCP, kPort)) {
        SLogger::err("unable to register (RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1, tcp): %d",
                     errno);
        close(sock);
        return;
    }
    g_listenFd = sock;
}

void TolmStatsSvr::destroyServer() {
    pmap_unset(RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1);
    g_connections.clear();
    if (g_listenFd >= 0) {
        close(g_listenFd);
        g_listenFd = -1;
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

void TolmStatsSvr::setLimits(const Limits& limits) {
    std::lock_guard<std::mutex> hold(g_limitsLock);
    g_limits = limits;
}

void TolmStatsSvr::startServer() {
    if (!makeWakePipe()) {
        SLogger::err("cannot make the service loop's wake-up pipe: %d", errno);
        return;
    }
    int64_t acceptPausedUntil = 0;
    std::vector<pollfd> fds;
    while (!g_stopRequested) {
        TolmStatsSvr::Limits limits = currentLimits();
        int64_t now = monotonicMs();
        closeExpired(now, limits);
        fds.clear();
        fds.push_back(pollfd{g_wake[0], POLLIN, 0});
        bool accepting = g_listenFd >= 0 && now >= acceptPausedUntil;
        if (accepting)
            fds.push_back(pollfd{g_listenFd, POLLIN, 0});
        for (const auto& c : g_connections)
            fds.push_back(
                pollfd{c.first, static_cast<short>(c.second->wantsWrite() ? POLLOUT : POLLIN), 0});
        // Wake once a second to close what went idle or stalled, and sooner
        // when accepting is paused.
        int timeout = g_connections.empty() ? -1 : 1000;
        if (g_listenFd >= 0 && !accepting)
            timeout = 100;
        int n = poll(fds.data(), fds.size(), timeout);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SLogger::err("service loop poll failed: %d", errno);
            break;
        }
        if (fds[0].revents)
            break;
        now = monotonicMs();
        size_t first = accepting ? 2 : 1;
        for (size_t i = first; i < fds.size(); i++) {
            if (!fds[i].revents)
                continue;
            auto it = g_connections.find(fds[i].fd);
            if (it == g_connections.end())
                continue;
            QueryConnection& q = *it->second;
            bool open = (fds[i].revents & POLLNVAL) == 0 &&
                        (q.wantsWrite() ? q.onWritable(now) : q.onReadable(now));
            if (!open)
                g_connections.erase(it);
        }
        enforceBufferCap(limits);
        if (accepting && fds[1].revents && !acceptConnections(now, limits)) {
            SLogger::warning("out of descriptors: not accepting query connections for 100 ms");
            acceptPausedUntil = now + 100;
        }
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
