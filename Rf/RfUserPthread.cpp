#include "RfUserPthread.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "RfLog.h"

pthread_mutex_t rfGlobalMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t rfAllocMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t checkExitMutex = PTHREAD_MUTEX_INITIALIZER;
int mustCallExit = 0;
int dispatchThreadRunning = 0;
int32_t RfUser_skbcount = 0;

namespace {

// The endpoint's socket buffers. The classic size of 196605 bytes (which the kernel
// doubles) holds only 23 datagrams of 8224 bytes, while a window is 64 packets: a
// burst then overflows the receive queue, and every drop costs a resend. So each
// buffer is asked for two full windows of the largest datagram (64 x 2 x (9000 +
// 32) bytes, rounded up to 64 KiB), and never for less than the classic size.
// Linux caps a plain request at net.core.rmem_max/wmem_max without an error; as
// root SO_RCVBUFFORCE/SO_SNDBUFFORCE pass the cap. Nothing on the wire changes.
constexpr int kClassicSocketBufferBytes = 0x2FFFD;
constexpr int kWindowPackets = 64;
constexpr int kLargestDatagram = RF_PACKET_DATA_ROOM + 32;
constexpr int kSocketBufferBytes =
    (2 * kWindowPackets * kLargestDatagram + 65535) / 65536 * 65536;
static_assert(kSocketBufferBytes >= kClassicSocketBufferBytes, "never below the classic size");
constexpr int32_t kFirstWaitMs = 100;
constexpr int32_t kLongestWaitMs = 10000;

// Drop percentage last set on any endpoint; new endpoints start with it.
int32_t lastDropPct = 0;

// Pipe that wakes a waiting dispatch loop when the thread is told to stop.
int wakePipe[2] = {-1, -1};
pthread_once_t wakePipeOnce = PTHREAD_ONCE_INIT;

void makeWakePipe() {
    if (pipe(wakePipe) == 0) {
        fcntl(wakePipe[0], F_SETFL, O_NONBLOCK);
        fcntl(wakePipe[1], F_SETFL, O_NONBLOCK);
        fcntl(wakePipe[0], F_SETFD, FD_CLOEXEC);
        fcntl(wakePipe[1], F_SETFD, FD_CLOEXEC);
    } else {
        wakePipe[0] = wakePipe[1] = -1;
    }
}

// Set on the thread that runs the dispatch loop: timers it schedules need no wake-up.
thread_local bool inDispatchLoop = false;

void wakeDispatchLoop() {
    if (wakePipe[1] >= 0) {
        char byte = 1;
        ssize_t ignored = write(wakePipe[1], &byte, 1);
        (void)ignored;
    }
}

void drainWakePipe() {
    char bytes[64];
    while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
}

void systemClock(void*, struct timeval* tvp) {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    tvp->tv_sec = ts.tv_sec;
    tvp->tv_usec = ts.tv_nsec / 1000;
}

void endpointNow(RfUserEndPoint* endp, struct timeval* tvp) {
    endp->clockProcp(endp->clockContextp, tvp);
}

void freeTimeoutLocked(RfTimeout* tp) {
    delete tp;
}

// Removes a timer from its endpoint's list; rfAllocMutex held.
void unlinkTimeoutLocked(RfTimeout* tp) {
    RfTimeout** linkp = &tp->endp->timeoutsp;
    while (*linkp != nullptr) {
        if (*linkp == tp) {
            *linkp = tp->nextp;
            tp->nextp = nullptr;
            return;
        }
        linkp = &(*linkp)->nextp;
    }
}

// Asks for kSocketBufferBytes, past the system's cap when allowed, and logs once
// per process when the grant is still smaller (the kernel reports twice what it
// grants, for its bookkeeping).
void setSocketBuffer(int s, int forceOption, int option, const char* what) {
    static bool shortGrantLogged = false;
    int bytes = kSocketBufferBytes;
    if (setsockopt(s, SOL_SOCKET, forceOption, &bytes, sizeof bytes) < 0 &&
        setsockopt(s, SOL_SOCKET, option, &bytes, sizeof bytes) < 0) {
        perror(what);
        return;
    }
    int granted = 0;
    socklen_t len = sizeof granted;
    if (getsockopt(s, SOL_SOCKET, option, &granted, &len) == 0 && granted / 2 < bytes) {
        if (!shortGrantLogged) {
            shortGrantLogged = true;
            RfLog_error("%s: asked for %d bytes, granted %d", what, kSocketBufferBytes,
                        granted / 2);
        }
    }
}

}  // namespace

const RFEndPointOps RfUser_endPointOps = {
    RfUser_sendPacket,  RfUser_sendPacketClone, RfUser_setIndicate,
    RfUser_getSequence, RfUser_getUnique,
};

int RfUser_createUDPEndPoint(uint16_t port, RfUserEndPoint** endpp) {
    pthread_once(&wakePipeOnce, makeWakePipe);
    RfUserEndPoint* endp = new (std::nothrow) RfUserEndPoint();
    if (endp == nullptr) {
        return -1;
    }
    endp->h = &RfUser_endPointOps;
    endp->clockProcp = systemClock;
    endp->s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (endp->s < 0) {
        delete endp;
        return -1;
    }
    setSocketBuffer(endp->s, SO_RCVBUFFORCE, SO_RCVBUF, "setsockopt::SO_RCVBUF");
    setSocketBuffer(endp->s, SO_SNDBUFFORCE, SO_SNDBUF, "setsockopt::SO_SNDBUF");
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(port);
    if (bind(endp->s, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr) < 0) {
        fprintf(stderr, "bind failed, code %d\n", errno);
    }
    socklen_t len = sizeof addr;
    if (getsockname(endp->s, reinterpret_cast<struct sockaddr*>(&addr), &len) < 0) {
        perror("getsockname");
    } else {
        endp->port = ntohs(addr.sin_port);
    }
    pthread_mutex_lock(&rfAllocMutex);
    endp->dropPct = lastDropPct;
    pthread_mutex_unlock(&rfAllocMutex);
    *endpp = endp;
    return 0;
}

uint16_t RfUser_getEndPointPort(const RfUserEndPoint* endp) {
    return endp->port;
}

void RfUser_destroyUDPEndPoint(RfUserEndPoint* endp) {
    if (endp->sparep != nullptr) {
        Rf_freePacket(endp->sparep);
        endp->sparep = nullptr;
    }
    pthread_mutex_lock(&rfAllocMutex);
    while (endp->freeListp != nullptr) {
        RfPacket* p = endp->freeListp;
        endp->freeListp = p->nextp;
        delete[] p->adatap;
        delete p;
    }
    while (endp->timeoutsp != nullptr) {
        RfTimeout* tp = endp->timeoutsp;
        endp->timeoutsp = tp->nextp;
        freeTimeoutLocked(tp);
    }
    pthread_mutex_unlock(&rfAllocMutex);
    close(endp->s);
    delete endp;
}

void RfUser_setClock(RfUserEndPoint* endp, RfClockProc procp, void* contextp) {
    endp->clockProcp = procp;
    endp->clockContextp = contextp;
}

int RfUser_startDispatchThread(pthread_t* threadp, const pthread_attr_t* attrp,
                               RfUserEndPoint* endp) {
    pthread_mutex_lock(&checkExitMutex);
    if (dispatchThreadRunning) {
        pthread_mutex_unlock(&checkExitMutex);
        return EAGAIN;
    }
    mustCallExit = 0;
    dispatchThreadRunning = 1;
    pthread_mutex_unlock(&checkExitMutex);
    int rc = pthread_create(threadp, attrp, RfUser_dispatch, endp);
    if (rc != 0) {
        pthread_mutex_lock(&checkExitMutex);
        dispatchThreadRunning = 0;
        pthread_mutex_unlock(&checkExitMutex);
    }
    return rc;
}

void RfUser_killDispatchThread(void* ownerp) {
    pthread_t thread = *static_cast<pthread_t*>(ownerp);
    pthread_mutex_lock(&checkExitMutex);
    mustCallExit = 1;
    pthread_mutex_unlock(&checkExitMutex);
    wakeDispatchLoop();
    pthread_join(thread, nullptr);
    pthread_mutex_lock(&checkExitMutex);
    dispatchThreadRunning = 0;
    pthread_mutex_unlock(&checkExitMutex);
}

int RfUser_isDispatchThreadRunning() {
    pthread_mutex_lock(&checkExitMutex);
    int running = dispatchThreadRunning;
    pthread_mutex_unlock(&checkExitMutex);
    return running;
}

int RfUser_receiveOne(RfUserEndPoint* endp, int32_t waitMs) {
    if (endp->sparep == nullptr) {
        endp->sparep = RfUser_allocPacket(endp);
    }
    pthread_mutex_unlock(&rfGlobalMutex);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(endp->s, &readable);
    int maxFd = endp->s;
    if (wakePipe[0] >= 0) {
        FD_SET(wakePipe[0], &readable);
        if (wakePipe[0] > maxFd) {
            maxFd = wakePipe[0];
        }
    }
    if (waitMs < 0) {
        waitMs = 0;
    }
    struct timeval timeout;
    timeout.tv_sec = waitMs / 1000;
    timeout.tv_usec = (waitMs % 1000) * 1000;
    int ready = select(maxFd + 1, &readable, nullptr, nullptr, &timeout);
    pthread_mutex_lock(&rfGlobalMutex);
    if (ready > 0 && wakePipe[0] >= 0 && FD_ISSET(wakePipe[0], &readable)) {
        drainWakePipe();
    }
    if (ready <= 0 || !FD_ISSET(endp->s, &readable)) {
        return 0;
    }
    RfPacket* p = endp->sparep;
    if (p == nullptr) {
        // No packet to take it: the datagram is read and dropped, as the
        // network would have dropped it.
        static uint8_t sink[RF_PACKET_AREA_SIZE];
        socklen_t len = sizeof endp->fromAddr;
        recvfrom(endp->s, sink, sizeof sink, MSG_DONTWAIT,
                 reinterpret_cast<struct sockaddr*>(&endp->fromAddr), &len);
        return 1;
    }
    socklen_t fromLen = sizeof endp->fromAddr;
    // The whole area takes the datagram, header room included: a largest body (9000
    // bytes) with its 32-byte header would not fit in the tail room alone.
    nbuf_reset(p);
    ssize_t n = recvfrom(endp->s, p->adatap, RF_PACKET_AREA_SIZE, MSG_DONTWAIT,
                         reinterpret_cast<struct sockaddr*>(&endp->fromAddr), &fromLen);
    if (n < 0) {
        if (errno != EAGAIN && errno != ECONNREFUSED) {
            fprintf(stderr, "receive error %d\n", errno);
        }
        return 0;
    }
    endp->sparep = nullptr;
    p->datap = p->adatap;
    p->hdrSize = 0;
    p->size = static_cast<int32_t>(n);
    p->tailSize = RF_PACKET_AREA_SIZE - p->size;
    if (endp->indicateProcp != nullptr) {
        struct sockaddr_in from = endp->fromAddr;
        endp->indicateProcp(endp, endp->indicateContextp, p, &from);
    } else {
        Rf_freePacket(p);
    }
    return 1;
}

int32_t RfUser_runTimers(RfUserEndPoint* endp) {
    struct timeval now;
    endpointNow(endp, &now);
    pthread_mutex_lock(&rfAllocMutex);
    while (endp->timeoutsp != nullptr && RfTimeout_tv_cmp(&endp->timeoutsp->tv, &now) <= 0) {
        RfTimeout* tp = endp->timeoutsp;
        endp->timeoutsp = tp->nextp;
        tp->nextp = nullptr;
        RF_ASSERT(!tp->deleted, "!tp->deleted");
        tp->running = 1;
        pthread_mutex_unlock(&rfAllocMutex);
        tp->procp(tp->contextp, tp);
        pthread_mutex_lock(&rfAllocMutex);
        freeTimeoutLocked(tp);
    }
    int32_t waitMs = kLongestWaitMs;
    if (endp->timeoutsp != nullptr) {
        struct timeval left;
        RfTimeout_tv_sub(&left, &endp->timeoutsp->tv, &now);
        int32_t leftMs = static_cast<int32_t>(RfTimeout_tv_ms(&left));
        if (left.tv_sec < 0 || leftMs < 0) {
            leftMs = 0;
        }
        waitMs = leftMs < kLongestWaitMs ? leftMs : kLongestWaitMs;
    }
    pthread_mutex_unlock(&rfAllocMutex);
    return waitMs;
}

void* RfUser_dispatch(void* argp) {
    RfUserEndPoint* endp = static_cast<RfUserEndPoint*>(argp);
    inDispatchLoop = true;
    pthread_mutex_lock(&rfGlobalMutex);
    int32_t waitMs = kFirstWaitMs;
    for (;;) {
        RfUser_receiveOne(endp, waitMs);
        waitMs = RfUser_runTimers(endp);
        pthread_mutex_lock(&checkExitMutex);
        int exitNow = mustCallExit;
        pthread_mutex_unlock(&checkExitMutex);
        if (exitNow) {
            break;
        }
    }
    pthread_mutex_unlock(&rfGlobalMutex);
    inDispatchLoop = false;
    return nullptr;
}

RfPacket* RfUser_allocPacket(RfUserEndPoint* endp) {
    pthread_mutex_lock(&rfAllocMutex);
    RfPacket* p = endp->freeListp;
    if (p != nullptr) {
        endp->freeListp = p->nextp;
    } else {
        p = new (std::nothrow) RfPacket();
        uint8_t* areap = p != nullptr ? new (std::nothrow) uint8_t[RF_PACKET_AREA_SIZE] : nullptr;
        if (areap == nullptr) {
            delete p;
            pthread_mutex_unlock(&rfAllocMutex);
            return nullptr;
        }
        p->adatap = areap;
        p->gendp = endp;
    }
    RfUser_skbcount++;
    pthread_mutex_unlock(&rfAllocMutex);
    p->nextp = nullptr;
    p->prevp = nullptr;
    p->refs = 1;
    nbuf_reset(p);
    return p;
}

void Rf_freePacket(RfPacket* p) {
    pthread_mutex_lock(&rfAllocMutex);
    RF_ASSERT(p->refs > 0, "p->refs > 0");
    if (--p->refs == 0) {
        p->prevp = nullptr;
        p->nextp = p->gendp->freeListp;
        p->gendp->freeListp = p;
        RfUser_skbcount--;
    }
    pthread_mutex_unlock(&rfAllocMutex);
}

void RfUser_incPacketRefCount(RfPacket* p) {
    pthread_mutex_lock(&rfAllocMutex);
    RF_ASSERT(p->refs > 0, "p->refs > 0");
    p->refs++;
    pthread_mutex_unlock(&rfAllocMutex);
}

int32_t RfUser_getSkbCount() {
    pthread_mutex_lock(&rfAllocMutex);
    int32_t count = RfUser_skbcount;
    pthread_mutex_unlock(&rfAllocMutex);
    return count;
}

int RfUser_sendPacketClone(RfUserEndPoint* endp, const struct sockaddr_in* addrp, RfPacket* p) {
    if (endp->dropPct != 0 && random() % 100 < endp->dropPct) {
        return 0;
    }
    sendto(endp->s, p->datap, p->size, 0, reinterpret_cast<const struct sockaddr*>(addrp),
           sizeof(struct sockaddr_in));
    return 0;
}

int RfUser_sendPacket(RfUserEndPoint* endp, const struct sockaddr_in* addrp, RfPacket* p) {
    RfUser_sendPacketClone(endp, addrp, p);
    Rf_freePacket(p);
    return 0;
}

void RfUser_setIndicate(RfUserEndPoint* endp, RfIndicateProc procp, void* contextp) {
    endp->indicateProcp = procp;
    endp->indicateContextp = contextp;
}

uint32_t RfUser_getSequence(const RfPacket* p) {
    uint32_t word;
    memcpy(&word, p->datap + 12, sizeof word);
    return word;
}

void RfUser_getHardwareAddress(const char* ifname, uint8_t addr[6]) {
    memset(addr, 0, 6);
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        return;
    }
    struct ifreq ifr;
    memset(&ifr, 0, sizeof ifr);
    strncpy(ifr.ifr_name, ifname, IFNAMSIZ - 1);
    if (ioctl(s, SIOCGIFHWADDR, &ifr) == 0) {
        memcpy(addr, ifr.ifr_hwaddr.sa_data, 6);
    }
    close(s);
}

int RfUser_getUnique(RfUserEndPoint*, uint8_t* bufp, int len) {
    if (len < 16) {
        return -1;
    }
    RfUser_getHardwareAddress("eth0", bufp);
    uint16_t pid = static_cast<uint16_t>(getpid());
    bufp[6] = static_cast<uint8_t>(pid >> 8);
    bufp[7] = static_cast<uint8_t>(pid);
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    uint32_t secs = static_cast<uint32_t>(tv.tv_sec);
    uint32_t usecs = static_cast<uint32_t>(tv.tv_usec);
    memcpy(bufp + 8, &secs, 4);
    memcpy(bufp + 12, &usecs, 4);
    return 0;
}

void RfUser_setDropPct(RfUserEndPoint* endp, int32_t pct) {
    pthread_mutex_lock(&rfAllocMutex);
    endp->dropPct = pct;
    lastDropPct = pct;
    pthread_mutex_unlock(&rfAllocMutex);
}

int RfTimeout_schedule(RfUserEndPoint* endp, RfTimeoutProc procp, void* contextp, int32_t ms,
                       RfTimeout** tpp) {
    RfTimeout* tp = new (std::nothrow) RfTimeout();
    if (tp == nullptr) {
        return -1;
    }
    struct timeval now;
    endpointNow(endp, &now);
    struct timeval delta;
    delta.tv_sec = ms / 1000;
    delta.tv_usec = (ms % 1000) * 1000;
    RfTimeout_tv_add(&tp->tv, &now, &delta);
    tp->procp = procp;
    tp->contextp = contextp;
    tp->endp = endp;
    pthread_mutex_lock(&rfAllocMutex);
    RfTimeout** linkp = &endp->timeoutsp;
    while (*linkp != nullptr && RfTimeout_tv_cmp(&(*linkp)->tv, &tp->tv) <= 0) {
        linkp = &(*linkp)->nextp;
    }
    tp->nextp = *linkp;
    *linkp = tp;
    bool earliest = endp->timeoutsp == tp;
    if (tpp != nullptr) {
        *tpp = tp;
    }
    pthread_mutex_unlock(&rfAllocMutex);
    // A dispatch loop waiting on another thread must shorten its wait for the new timer.
    if (earliest && !inDispatchLoop) {
        wakeDispatchLoop();
    }
    return 0;
}

void RfTimeout_cancel(RfTimeout* tp) {
    pthread_mutex_lock(&rfAllocMutex);
    tp->deleted = 1;
    if (!tp->running) {
        unlinkTimeoutLocked(tp);
        freeTimeoutLocked(tp);
    }
    pthread_mutex_unlock(&rfAllocMutex);
}

int RfTimeout_tv_cmp(const struct timeval* ap, const struct timeval* bp) {
    if (ap->tv_sec != bp->tv_sec) {
        return ap->tv_sec < bp->tv_sec ? -1 : 1;
    }
    if (ap->tv_usec != bp->tv_usec) {
        return ap->tv_usec < bp->tv_usec ? -1 : 1;
    }
    return 0;
}

void RfTimeout_tv_add(struct timeval* resultp, const struct timeval* ap, const struct timeval* bp) {
    resultp->tv_sec = ap->tv_sec + bp->tv_sec;
    resultp->tv_usec = ap->tv_usec + bp->tv_usec;
    if (resultp->tv_usec >= 1000000) {
        resultp->tv_sec += 1;
        resultp->tv_usec -= 1000000;
    }
}

void RfTimeout_tv_sub(struct timeval* resultp, const struct timeval* ap, const struct timeval* bp) {
    resultp->tv_sec = ap->tv_sec - bp->tv_sec;
    resultp->tv_usec = ap->tv_usec - bp->tv_usec;
    if (resultp->tv_usec < 0) {
        resultp->tv_sec -= 1;
        resultp->tv_usec += 1000000;
    }
}

uint32_t RfTimeout_tv_ms(const struct timeval* tvp) {
    return static_cast<uint32_t>(tvp->tv_sec) * 1000u + static_cast<uint32_t>(tvp->tv_usec / 1000);
}
