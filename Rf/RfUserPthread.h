#pragma once

#include <netinet/in.h>
#include <pthread.h>
#include <sys/time.h>

#include <cstdint>

#include "RfPacketUser.h"

struct RfUserEndPoint;
struct RfTimeout;

// Receive callback: the callback owns the packet.
typedef void (*RfIndicateProc)(RfUserEndPoint* endp, void* contextp, RfPacket* packetp,
                               const struct sockaddr_in* fromp);
// Timer callback, called with the timer's argument and the timer itself.
typedef void (*RfTimeoutProc)(void* contextp, RfTimeout* tp);
// Time source of an endpoint's timers (the system's monotonic clock unless replaced).
typedef void (*RfClockProc)(void* contextp, struct timeval* tvp);

// The packet-layer operations through which the protocol engine reaches an endpoint.
struct RFEndPointOps {
    int (*sendPacketProcp)(RfUserEndPoint* endp, const struct sockaddr_in* addrp, RfPacket* p);
    int (*sendPacketCloneProcp)(RfUserEndPoint* endp, const struct sockaddr_in* addrp, RfPacket* p);
    void (*setIndicateProcp)(RfUserEndPoint* endp, RfIndicateProc procp, void* contextp);
    uint32_t (*getSequenceProcp)(const RfPacket* p);
    int (*getUniqueProcp)(RfUserEndPoint* endp, uint8_t* bufp, int len);
};

struct RfTimeout {
    RfTimeout* nextp;
    struct timeval tv;  // absolute expiry
    RfTimeoutProc procp;
    void* contextp;
    uint8_t deleted;
    uint8_t running;
    RfUserEndPoint* endp;
};

struct RfUserEndPoint {
    const RFEndPointOps* h;  // first, so that the engine can call through any endpoint
    int s;                   // the UDP socket
    uint16_t port;           // bound local port, host order
    RfIndicateProc indicateProcp;
    void* indicateContextp;
    struct sockaddr_in fromAddr;  // sender of the last datagram received
    RfPacket* freeListp;
    RfTimeout* timeoutsp;  // pending timers, earliest first
    int32_t dropPct;       // percentage of outgoing datagrams discarded
    // Time source of the timers.
    RfClockProc clockProcp;
    void* clockContextp;
    // Spare packet the dispatch loop receives into.
    RfPacket* sparep;
};

// Process-wide state of the transport. Lock order: rfGlobalMutex, rfAllocMutex, checkExitMutex.
extern pthread_mutex_t rfGlobalMutex;
extern pthread_mutex_t rfAllocMutex;
extern pthread_mutex_t checkExitMutex;
extern int mustCallExit;
extern int dispatchThreadRunning;
extern int32_t RfUser_skbcount;

// The operations table installed in every UDP endpoint.
extern const RFEndPointOps RfUser_endPointOps;

int RfUser_createUDPEndPoint(uint16_t port, RfUserEndPoint** endpp);
uint16_t RfUser_getEndPointPort(const RfUserEndPoint* endp);
// Closes the socket and frees the endpoint with its free packets and timers (for tests and
// tools that end; a running daemon keeps its endpoint for life).
void RfUser_destroyUDPEndPoint(RfUserEndPoint* endp);
// Replaces the time source of the endpoint's timers.
void RfUser_setClock(RfUserEndPoint* endp, RfClockProc procp, void* contextp);

int RfUser_startDispatchThread(pthread_t* threadp, const pthread_attr_t* attrp,
                               RfUserEndPoint* endp);
// ownerp points at a structure whose first field is the dispatch thread.
void RfUser_killDispatchThread(void* ownerp);
int RfUser_isDispatchThreadRunning();
// Dispatch thread body: receives datagrams and fires timers until told to stop.
void* RfUser_dispatch(void* endp);

// One receive step of the dispatch loop, called with rfGlobalMutex held (released while
// waiting up to waitMs for a datagram). Returns 1 when a datagram was handed on.
int RfUser_receiveOne(RfUserEndPoint* endp, int32_t waitMs);
// The timer step of the dispatch loop, called with rfGlobalMutex held: fires every expired
// timer and returns the milliseconds until the earliest remaining one (10000 when none).
int32_t RfUser_runTimers(RfUserEndPoint* endp);

RfPacket* RfUser_allocPacket(RfUserEndPoint* endp);
void Rf_freePacket(RfPacket* p);
void RfUser_incPacketRefCount(RfPacket* p);
int32_t RfUser_getSkbCount();

int RfUser_sendPacket(RfUserEndPoint* endp, const struct sockaddr_in* addrp, RfPacket* p);
int RfUser_sendPacketClone(RfUserEndPoint* endp, const struct sockaddr_in* addrp, RfPacket* p);
void RfUser_setIndicate(RfUserEndPoint* endp, RfIndicateProc procp, void* contextp);
uint32_t RfUser_getSequence(const RfPacket* p);
int RfUser_getUnique(RfUserEndPoint* endp, uint8_t* bufp, int len);
// Reads the hardware address of an interface; six zero bytes when it cannot be read.
void RfUser_getHardwareAddress(const char* ifname, uint8_t addr[6]);

void RfUser_setDropPct(RfUserEndPoint* endp, int32_t pct);

int RfTimeout_schedule(RfUserEndPoint* endp, RfTimeoutProc procp, void* contextp, int32_t ms,
                       RfTimeout** tpp);
void RfTimeout_cancel(RfTimeout* tp);

int RfTimeout_tv_cmp(const struct timeval* ap, const struct timeval* bp);
void RfTimeout_tv_add(struct timeval* resultp, const struct timeval* ap, const struct timeval* bp);
void RfTimeout_tv_sub(struct timeval* resultp, const struct timeval* ap, const struct timeval* bp);
uint32_t RfTimeout_tv_ms(const struct timeval* tvp);
