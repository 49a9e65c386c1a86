#include "RfPthread.h"

#include <cstring>
#include <new>

#include "RfLog.h"

namespace {

Rf* rfGlobalListp = nullptr;

constexpr int32_t kMonitorIntervalMs = 10000;
constexpr int32_t kMonitorStepSecs = 10;
constexpr int32_t kCallTimeoutSlackSecs = 10;
constexpr int32_t kDelayedAckMs = 10;
constexpr int32_t kShortBackoffMs = 2000;
constexpr int32_t kLongBackoffMs = 5000;
constexpr int32_t kLongBackoffFromMs = 8000;
constexpr int32_t kServerGiveUpMs = 40001;
constexpr int32_t kErrorRetryMs = 1000;
constexpr int16_t kInitialCwnd = 1;
constexpr int16_t kInitialSsthresh = 8;
constexpr int16_t kMaxCwnd = 1000;
constexpr int kMaxAckList = 4;
constexpr int kMaxSackResends = 5;
constexpr uint32_t kConnGeneration = 4096;
constexpr uint32_t kSlotMask = 0xFFF;

// Sequence numbers wrap: a is before b when the signed distance is negative.
bool seqBefore(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b) < 0;
}

uint32_t getLe32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

void putLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

void putLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

// Offsets of the fields that are refreshed in queued packets.
constexpr int kOffFlags = 0;
constexpr int kOffWindow = 2;
constexpr int kOffConnIdDest = 4;
constexpr int kOffSequence = 12;
constexpr int kOffSequenceAck = 16;
constexpr int kOffChannelId = 20;

RfUserEndPoint* endpointOf(RfConn* connp) {
    return connp->rfp->endp;
}

uint32_t packetSequence(RfConn* connp, const RfPacket* p) {
    return endpointOf(connp)->h->getSequenceProcp(p);
}

int32_t backoffMs(const RfConn* connp) {
    return connp->errorMs < kLongBackoffFromMs ? kShortBackoffMs : kLongBackoffMs;
}

// A fresh initial sequence number derived from a new incarnation identity.
uint32_t newInitialSequence(RfUserEndPoint* endp) {
    uint8_t info[RF_BIND_INFO_SIZE];
    memset(info, 0, sizeof info);
    endp->h->getUniqueProcp(endp, info, sizeof info);
    uint32_t w[4];
    memcpy(w, info, sizeof w);
    return w[1] * 19088743u + w[2] * 17899809u + w[0] + w[3];
}

void setAllSequences(RfConn* connp, uint32_t sequence) {
    connp->txNextSequence = sequence;
    connp->txFirstUnacked = sequence;
    connp->txNextSend = sequence;
    connp->rxNextSequence = sequence;
    connp->rxNextSack = sequence;
    connp->rxSequenceSent = sequence;
    connp->rxAckRequested = sequence;
}

void resetWindowState(RfConn* connp) {
    connp->windowSize = static_cast<uint16_t>(connp->rfp->initWindow);
    connp->txAdvertisedWindow = static_cast<uint16_t>(connp->rfp->initWindow);
    connp->cwnd = kInitialCwnd;
    connp->cwndDivisor = 0;
    connp->ssthresh = kInitialSsthresh;
    connp->errorMs = 0;
    connp->timeOuts = 0;
}

// Packet lists linked through nextp/prevp.
void listAppend(RfPacket** headpp, RfPacket** tailpp, RfPacket* p) {
    p->nextp = nullptr;
    p->prevp = *tailpp;
    if (*tailpp != nullptr) {
        (*tailpp)->nextp = p;
    } else {
        *headpp = p;
    }
    *tailpp = p;
}

void listUnlink(RfPacket** headpp, RfPacket** tailpp, RfPacket* p) {
    if (p->prevp != nullptr) {
        p->prevp->nextp = p->nextp;
    } else {
        *headpp = p->nextp;
    }
    if (p->nextp != nullptr) {
        p->nextp->prevp = p->prevp;
    } else {
        *tailpp = p->prevp;
    }
    p->nextp = nullptr;
    p->prevp = nullptr;
}

void listFree(RfPacket** headpp, RfPacket** tailpp) {
    RfPacket* p = *headpp;
    while (p != nullptr) {
        RfPacket* nextp = p->nextp;
        p->nextp = nullptr;
        p->prevp = nullptr;
        Rf_freePacket(p);
        p = nextp;
    }
    *headpp = nullptr;
    *tailpp = nullptr;
}

// The bytes a connection holds on its receive lists, counted as packets go
// on and off them.
void heldAdd(RfConn* connp, const RfPacket* p) {
    connp->rxHeldBytes += static_cast<uint32_t>(p->size);
    connp->rfp->rxHeldBytes += static_cast<uint32_t>(p->size);
}

void heldSub(RfConn* connp, const RfPacket* p) {
    connp->rxHeldBytes -= static_cast<uint32_t>(p->size);
    connp->rfp->rxHeldBytes -= static_cast<uint32_t>(p->size);
}

bool mayHold(const RfConn* connp, const RfPacket* p) {
    uint32_t n = static_cast<uint32_t>(p->size);
    return connp->rxHeldBytes + n <= RF_MAX_HELD_PER_CONN &&
           connp->rfp->rxHeldBytes + n <= RF_MAX_HELD_TOTAL;
}

void freeHeld(RfConn* connp, RfPacket** headpp, RfPacket** tailpp) {
    for (RfPacket* p = *headpp; p != nullptr; p = p->nextp)
        heldSub(connp, p);
    listFree(headpp, tailpp);
}

void freeReceived(RfConn* connp) {
    freeHeld(connp, &connp->rxReadHeadp, &connp->rxReadTailp);
    freeHeld(connp, &connp->rxWaitHeadp, &connp->rxWaitTailp);
    connp->rxStalledMs = 0;
}

void cancelTimer(RfTimeout** tpp) {
    if (*tpp != nullptr) {
        RfTimeout_cancel(*tpp);
        *tpp = nullptr;
    }
}

void resendTimerFired(void* contextp, RfTimeout* tp);
void delayedAckFired(void* contextp, RfTimeout* tp);
void monitorFired(void* contextp, RfTimeout* tp);
void errorRetryFired(void* contextp, RfTimeout* tp);
void sendWindow(RfConn* connp);
void performAckWork(RfConn* connp, uint32_t sequenceAck, uint16_t window, uint32_t kind,
                    const uint32_t* listp, uint32_t count);

void armResendTimer(RfConn* connp) {
    cancelTimer(&connp->resendTimeoutp);
    RfTimeout_schedule(endpointOf(connp), resendTimerFired, connp, backoffMs(connp),
                       &connp->resendTimeoutp);
}

// Runs the user callbacks collected under rfGlobalMutex, with the mutex released.
void runUpcalls(Rf* rfp) {
    while (!rfp->pendingUpcalls.empty()) {
        RfUpcall up = rfp->pendingUpcalls.front();
        rfp->pendingUpcalls.pop_front();
        if (up.serverProcp != nullptr) {
            up.connp->upcallsRunning++;
            up.connp->flags |= RF_CONN_UPCALL;
        }
        pthread_mutex_unlock(&rfGlobalMutex);
        if (up.callProcp != nullptr) {
            up.callProcp(up.contextp, up.packetp, up.error);
        } else {
            up.serverProcp(up.contextp, up.serverCallp, up.packetp);
        }
        pthread_mutex_lock(&rfGlobalMutex);
        if (up.serverProcp != nullptr && --up.connp->upcallsRunning == 0) {
            up.connp->flags &= ~RF_CONN_UPCALL;
        }
    }
}

// Ends a running call: the slot gets a new call number and goes back to the free list; the
// callback is made later, outside the mutex.
void endClientCall(Rf* rfp, RfClientCall* callp, RfPacket* responsep, int32_t error) {
    RfUpcall up{};
    up.callProcp = callp->procp;
    up.contextp = callp->contextp;
    up.packetp = responsep;
    up.error = error;
    rfp->pendingUpcalls.push_back(up);
    callp->call++;
    callp->running = 0;
    callp->terminateMe = 0;
    callp->connp = nullptr;
    callp->procp = nullptr;
    callp->contextp = nullptr;
    callp->nextp = rfp->clientCallFreeListp;
    rfp->clientCallFreeListp = callp;
}

// Records the sequenceAck just sent; a delayed acknowledgement is no longer needed once
// everything requested is covered.
void noteAckSent(RfConn* connp, uint32_t sequenceAck) {
    connp->rxSequenceSent = sequenceAck;
    if (connp->delayedAckTimeoutp != nullptr && !seqBefore(sequenceAck, connp->rxAckRequested)) {
        cancelTimer(&connp->delayedAckTimeoutp);
    }
}

// Refreshes the window, sequenceAck and acknowledgement request of a queued packet and sends
// it, keeping it queued.
void transmitQueued(RfConn* connp, RfPacket* p) {
    uint8_t* hp = p->datap;
    uint32_t sequence = getLe32(hp + kOffSequence);
    int32_t window =
        connp->cwnd < connp->txAdvertisedWindow ? connp->cwnd : connp->txAdvertisedWindow;
    int32_t remaining = static_cast<int32_t>(connp->txFirstUnacked + window - sequence);
    // Error responses (those with an extension word) always go out as 0x31.
    if (!(hp[kOffFlags] & RF_FLAG_EXTENSION)) {
        uint8_t flags = hp[kOffFlags] & static_cast<uint8_t>(~RF_FLAG_ACK_REQUESTED);
        if (remaining <= 2) {
            flags |= RF_FLAG_ACK_REQUESTED;
        }
        hp[kOffFlags] = flags;
    }
    putLe16(hp + kOffWindow, connp->windowSize);
    putLe32(hp + kOffSequenceAck, connp->rxNextSequence);
    endpointOf(connp)->h->sendPacketCloneProcp(endpointOf(connp), &connp->toAddr, p);
    noteAckSent(connp, connp->rxNextSequence);
}

bool isBinding(const RfConn* connp) {
    return (connp->flags & (RF_CONN_BIND_NEEDED | RF_CONN_BIND_OUTSTANDING)) != 0;
}

void sendWindow(RfConn* connp) {
    if (isBinding(connp)) {
        return;
    }
    int32_t window =
        connp->cwnd < connp->txAdvertisedWindow ? connp->cwnd : connp->txAdvertisedWindow;
    uint32_t limit = connp->txFirstUnacked + static_cast<uint32_t>(window);
    while (connp->txNextSendp != nullptr) {
        RfPacket* p = connp->txNextSendp;
        uint32_t sequence = packetSequence(connp, p);
        if (!seqBefore(sequence, limit)) {
            connp->rfp->stats.txStalls++;
            break;
        }
        transmitQueued(connp, p);
        connp->txNextSendp = p->nextp;
        connp->txNextSend = sequence + 1;
    }
}

// Queues a packet that already carries its header and sends what the window allows.
void queueAndSend(RfConn* connp, RfPacket* p) {
    bool nothingWaiting = connp->txNextSendp == nullptr;
    listAppend(&connp->txHeadp, &connp->txTailp, p);
    if (nothingWaiting) {
        connp->txNextSendp = p;
    }
    sendWindow(connp);
    if (connp->resendTimeoutp == nullptr) {
        armResendTimer(connp);
    }
}

void buildHeader(RfConn* connp, RfPacket* p, uint8_t flags, uint32_t channelId, uint32_t call,
                 uint32_t interfaceId) {
    nbuf_addHeader(p, RF_HEADER_SIZE);
    RfHeader h{};
    h.flags = flags;
    h.window = connp->windowSize;
    h.connIdDest = connp->remoteConnId;
    h.connIdSrc = connp->connId;
    h.sequence = connp->txNextSequence++;
    h.sequenceAck = connp->rxNextSequence;
    h.channelId = channelId;
    h.call = call;
    h.interfaceId = interfaceId;
    Rf_writeHeader(p, &h);
}

void sendBind(RfConn* connp) {
    RfUserEndPoint* endp = endpointOf(connp);
    RfPacket* p = RfUser_allocPacket(endp);
    if (p == nullptr) {
        return;
    }
    nbuf_addHeader(p, RF_HEADER_SIZE);
    RfHeader h{};
    h.flags = RF_TYPE_BIND;
    h.window = connp->windowSize;
    h.connIdDest = 0;
    h.connIdSrc = connp->connId;
    h.sequence = connp->txFirstUnacked;
    h.sequenceAck = connp->txFirstUnacked;
    Rf_writeHeader(p, &h);
    nbuf_addIov(p, connp->bindInfo, RF_BIND_INFO_SIZE);
    endp->h->sendPacketProcp(endp, &connp->toAddr, p);
}

void rebind(RfConn* connp) {
    if (connp->flags & RF_CONN_BIND_OUTSTANDING) {
        return;
    }
    connp->flags |= RF_CONN_BIND_OUTSTANDING;
    connp->remoteConnId = 0;
    connp->bindCount++;
    sendBind(connp);
    armResendTimer(connp);
}

void resetClientConn(RfConn* connp, int32_t error, bool discard) {
    Rf* rfp = connp->rfp;
    uint32_t oldFirstUnacked = connp->txFirstUnacked;
    connp->flags = RF_CONN_CLIENT | RF_CONN_BIND_NEEDED;
    resetWindowState(connp);
    setAllSequences(connp, newInitialSequence(rfp->endp));
    cancelTimer(&connp->resendTimeoutp);
    cancelTimer(&connp->delayedAckTimeoutp);
    freeReceived(connp);
    if (discard) {
        listFree(&connp->txHeadp, &connp->txTailp);
    }
    connp->txNextSendp = connp->txHeadp;
    for (int i = 0; i < RF_MAX_CLIENT_CALLS; i++) {
        RfClientCall* callp = &rfp->clientCalls[i];
        if (callp->running && callp->connp == connp &&
            (discard || seqBefore(callp->sequence, oldFirstUnacked))) {
            endClientCall(rfp, callp, nullptr, error);
        }
    }
    // Requests not yet acknowledged are renumbered and go out again after the rebind.
    for (RfPacket* p = connp->txHeadp; p != nullptr; p = p->nextp) {
        uint32_t sequence = connp->txNextSequence++;
        putLe32(p->datap + kOffSequence, sequence);
        uint32_t slot = getLe32(p->datap + kOffChannelId) & kSlotMask;
        RfClientCall* callp = &rfp->clientCalls[slot];
        if (callp->running && callp->connp == connp) {
            callp->sequence = sequence;
        }
    }
    if (connp->txHeadp != nullptr) {
        rebind(connp);
    }
}

void resetServerConn(RfConn* connp) {
    connp->flags &= RF_CONN_UPCALL;
    resetWindowState(connp);
    cancelTimer(&connp->resendTimeoutp);
    cancelTimer(&connp->delayedAckTimeoutp);
    freeReceived(connp);
    listFree(&connp->txHeadp, &connp->txTailp);
    connp->txNextSendp = nullptr;
}

void destroyConn(RfConn* connp) {
    Rf* rfp = connp->rfp;
    if (connp->flags & RF_CONN_CLIENT) {
        resetClientConn(connp, RF_ERR_CALL_TIMEOUT, true);
    } else {
        resetServerConn(connp);
    }
    freeReceived(connp);
    listFree(&connp->txHeadp, &connp->txTailp);
    connp->txNextSendp = nullptr;
    cancelTimer(&connp->resendTimeoutp);
    cancelTimer(&connp->delayedAckTimeoutp);
    uint32_t slot = connp->connId & kSlotMask;
    RF_ASSERT(rfp->connHashp[slot] == connp, "rfp->connHashp[i] == connp");
    rfp->connHashp[slot] = nullptr;
    connp->connId += kConnGeneration;
    connp->flags = 0;
    connp->nextp = rfp->connFreeListp;
    rfp->connFreeListp = connp;
}

bool isIdleServerConn(const RfConn* connp) {
    return (connp->flags & (RF_CONN_CLIENT | RF_CONN_UPCALL)) == 0 && connp->txHeadp == nullptr &&
           connp->rxWaitHeadp == nullptr && connp->rxReadHeadp == nullptr;
}

// A connection for a new client or server binding: from the free list, newly made while
// fewer than the table size exist, or by collecting the least recently used idle server
// connection.
RfConn* takeConn(Rf* rfp) {
    RfConn* connp = rfp->connFreeListp;
    if (connp != nullptr) {
        rfp->connFreeListp = connp->nextp;
    } else if (rfp->numConns < RF_MAX_CONNS) {
        connp = new (std::nothrow) RfConn();
        if (connp == nullptr) {
            return nullptr;
        }
        connp->connId = static_cast<uint32_t>(rfp->numConns);
        connp->rfp = rfp;
        rfp->numConns++;
    } else {
        RfConn* oldestp = nullptr;
        for (int i = 0; i < RF_MAX_CONNS; i++) {
            RfConn* candidatep = rfp->connHashp[i];
            if (candidatep != nullptr && isIdleServerConn(candidatep) &&
                (oldestp == nullptr || seqBefore(candidatep->lastUse, oldestp->lastUse))) {
                oldestp = candidatep;
            }
        }
        if (oldestp == nullptr) {
            return nullptr;
        }
        destroyConn(oldestp);
        connp = rfp->connFreeListp;
        rfp->connFreeListp = connp->nextp;
    }
    uint32_t connId = connp->connId;
    Rf* ownerp = connp->rfp;
    *connp = RfConn();
    connp->connId = connId;
    connp->rfp = ownerp;
    resetWindowState(connp);
    rfp->connHashp[connId & kSlotMask] = connp;
    return connp;
}

void transmitAck(RfConn* connp, bool listKind) {
    Rf* rfp = connp->rfp;
    RfUserEndPoint* endp = rfp->endp;
    RfPacket* p = RfUser_allocPacket(endp);
    if (p == nullptr) {
        return;
    }
    rfp->stats.txAcks++;
    nbuf_addHeader(p, RF_HEADER_SIZE);
    RfHeader h{};
    h.flags = RF_TYPE_ACK;
    h.window = connp->windowSize;
    h.connIdDest = connp->remoteConnId;
    h.connIdSrc = connp->connId;
    h.sequence = 0;
    h.sequenceAck = connp->rxNextSequence;
    uint32_t missing[kMaxAckList];
    uint32_t count = 0;
    if (connp->rxWaitHeadp != nullptr || listKind) {
        h.flags |= RF_FLAG_EXTENSION;
        uint32_t next = connp->rxNextSack;
        if (seqBefore(next, connp->rxNextSequence)) {
            next = connp->rxNextSequence;
        }
        for (RfPacket* wp = connp->rxWaitHeadp; wp != nullptr && count < kMaxAckList;
             wp = wp->nextp) {
            uint32_t waiting = packetSequence(connp, wp);
            while (seqBefore(next, waiting) && count < kMaxAckList) {
                missing[count++] = next++;
            }
            if (next == waiting) {
                next++;
            }
        }
        if (count > 0) {
            connp->rxNextSack = missing[count - 1] + 1;
        }
    }
    Rf_writeHeader(p, &h);
    uint8_t word[4];
    if (h.flags & RF_FLAG_EXTENSION) {
        putLe32(word, RF_ACK_LIST);
        nbuf_addIov(p, word, 4);
    }
    putLe32(word, count);
    nbuf_addIov(p, word, 4);
    for (uint32_t i = 0; i < count; i++) {
        putLe32(word, missing[i]);
        nbuf_addIov(p, word, 4);
    }
    endp->h->sendPacketProcp(endp, &connp->toAddr, p);
    noteAckSent(connp, connp->rxNextSequence);
}

// An acknowledgement was requested: delayed while fewer than a window of packets came in
// since the last sequenceAck sent, otherwise at once.
void requestAck(RfConn* connp) {
    if (seqBefore(connp->rxNextSequence, connp->rxSequenceSent + connp->windowSize)) {
        connp->rxAckRequested = connp->rxNextSequence;
        if (connp->delayedAckTimeoutp == nullptr) {
            RfTimeout_schedule(endpointOf(connp), delayedAckFired, connp, kDelayedAckMs,
                               &connp->delayedAckTimeoutp);
        }
    } else {
        transmitAck(connp, false);
    }
}

void sendResetNotice(Rf* rfp, const RfHeader* hp, const struct sockaddr_in* top) {
    RfPacket* p = RfUser_allocPacket(rfp->endp);
    if (p == nullptr) {
        return;
    }
    nbuf_addHeader(p, RF_HEADER_SIZE);
    RfHeader h{};
    h.flags = RF_TYPE_ACK | RF_FLAG_EXTENSION;
    h.connIdDest = hp->connIdSrc;
    h.connIdSrc = hp->connIdDest;
    Rf_writeHeader(p, &h);
    uint8_t word[4];
    putLe32(word, RF_ACK_RESET);
    nbuf_addIov(p, word, 4);
    putLe32(word, 0);
    nbuf_addIov(p, word, 4);
    rfp->endp->h->sendPacketProcp(rfp->endp, top, p);
}

RfServer* findServer(Rf* rfp, uint32_t interfaceId) {
    for (RfServer* sp = rfp->serverIidHashp[interfaceId & (RF_SERVER_CHAINS - 1)]; sp != nullptr;
         sp = sp->nextp) {
        if (sp->interfaceId == interfaceId) {
            return sp;
        }
    }
    return nullptr;
}

RfServerCall* takeServerCall(Rf* rfp) {
    RfServerCall* callp = rfp->serverCallFreeListp;
    if (callp != nullptr) {
        rfp->serverCallFreeListp = callp->nextp;
        RfServerCall* allNextp = callp->allNextp;
        *callp = RfServerCall();
        callp->allNextp = allNextp;
    } else {
        callp = new (std::nothrow) RfServerCall();
        if (callp == nullptr) {
            return nullptr;
        }
        callp->allNextp = rfp->allServerCallsp;
        rfp->allServerCallsp = callp;
    }
    callp->rfp = rfp;
    return callp;
}

void releaseServerCall(Rf* rfp, RfServerCall* callp) {
    callp->nextp = rfp->serverCallFreeListp;
    rfp->serverCallFreeListp = callp;
}

bool serverCallConnAlive(const RfServerCall* callp) {
    return callp->connp != nullptr && callp->connp->connId == callp->connId &&
           callp->rfp->connHashp[callp->connId & kSlotMask] == callp->connp;
}

// Sends (or retries later) the error response recorded in a server call.
void sendErrorResponse(RfServerCall* callp) {
    Rf* rfp = callp->rfp;
    if (!serverCallConnAlive(callp)) {
        releaseServerCall(rfp, callp);
        return;
    }
    RfPacket* p = RfUser_allocPacket(rfp->endp);
    if (p == nullptr) {
        RfTimeout_schedule(rfp->endp, errorRetryFired, callp, kErrorRetryMs,
                           &callp->reallocTimeoutp);
        return;
    }
    uint8_t word[4];
    putLe32(word, static_cast<uint32_t>(callp->queuedError));
    nbuf_addIov(p, word, 4);
    buildHeader(callp->connp, p, RF_TYPE_RESPONSE | RF_FLAG_LAST | RF_FLAG_EXTENSION, callp->index,
                callp->call, 0);
    queueAndSend(callp->connp, p);
    releaseServerCall(rfp, callp);
}

void errorRetryFired(void* contextp, RfTimeout*) {
    RfServerCall* callp = static_cast<RfServerCall*>(contextp);
    callp->reallocTimeoutp = nullptr;
    sendErrorResponse(callp);
}

// A complete request on a server connection goes to the server of its interface.
void deliverRequest(RfConn* connp, RfPacket* p, const RfHeader* hp) {
    Rf* rfp = connp->rfp;
    rfp->stats.rxCalls++;
    connp->interfaceId = hp->interfaceId;
    RfServer* serverp = findServer(rfp, hp->interfaceId);
    RfServerCall* callp = takeServerCall(rfp);
    if (callp == nullptr) {
        Rf_freePacket(p);
        return;
    }
    callp->serverp = serverp;
    callp->connp = connp;
    callp->index = hp->channelId;
    callp->call = hp->call;
    callp->connId = connp->connId;
    if (serverp == nullptr) {
        Rf_freePacket(p);
        callp->queuedError = RF_ERR_NO_SERVER;
        sendErrorResponse(callp);
        return;
    }
    nbuf_remHeader(p, RF_HEADER_SIZE);
    RfUpcall up{};
    up.serverProcp = serverp->serverProcp;
    up.contextp = serverp->serverContextp;
    up.packetp = p;
    up.serverCallp = callp;
    up.connp = connp;
    rfp->pendingUpcalls.push_back(up);
}

// A complete response on a client connection ends the call it answers.
void upcallClientCall(RfConn* connp, RfPacket* p, const RfHeader* hp) {
    Rf* rfp = connp->rfp;
    RfClientCall* callp = &rfp->clientCalls[hp->channelId & kSlotMask];
    if (!callp->running || callp->call != hp->call || callp->connp != connp) {
        Rf_freePacket(p);
        return;
    }
    nbuf_remHeader(p, RF_HEADER_SIZE);
    int32_t error = 0;
    if (hp->flags & RF_FLAG_EXTENSION) {
        uint8_t word[4] = {0, 0, 0, 0};
        nbuf_copyData(word, p, 4);
        error = static_cast<int32_t>(getLe32(word));
    }
    if (error != 0) {
        Rf_freePacket(p);
        p = nullptr;
    }
    endClientCall(rfp, callp, p, error);
}

void deliverInOrder(RfConn* connp, RfPacket* p) {
    RfHeader h;
    Rf_readHeader(p, &h);
    listAppend(&connp->rxReadHeadp, &connp->rxReadTailp, p);
    heldAdd(connp, p);
    connp->rxStalledMs = 0;
    connp->rxNextSequence++;
    if (seqBefore(connp->rxNextSack, connp->rxNextSequence)) {
        connp->rxNextSack = connp->rxNextSequence;
    }
    if (!(h.flags & RF_FLAG_LAST)) {
        return;
    }
    // Every message is one packet; the read list holds just this one.
    listUnlink(&connp->rxReadHeadp, &connp->rxReadTailp, p);
    heldSub(connp, p);
    freeHeld(connp, &connp->rxReadHeadp, &connp->rxReadTailp);
    uint8_t type = h.flags & RF_TYPE_MASK;
    if (connp->flags & RF_CONN_CLIENT) {
        if (type == RF_TYPE_RESPONSE) {
            upcallClientCall(connp, p, &h);
        } else {
            Rf_freePacket(p);
        }
    } else if (type == RF_TYPE_DATA) {
        deliverRequest(connp, p, &h);
    } else {
        Rf_freePacket(p);
    }
}

// Returns true when the packet came in order.
bool processIncomingData(RfConn* connp, RfPacket* p, const RfHeader* hp) {
    bool inOrder = hp->sequence == connp->rxNextSequence;
    // A packet that would be held beyond the bounds is dropped as if lost:
    // not taken, not acknowledged.
    bool held = !inOrder || !(hp->flags & RF_FLAG_LAST);
    if (held && !mayHold(connp, p)) {
        connp->rfp->stats.rxHeldDiscards++;
        Rf_freePacket(p);
        return false;
    }
    if (inOrder) {
        deliverInOrder(connp, p);
        while (connp->rxWaitHeadp != nullptr &&
               packetSequence(connp, connp->rxWaitHeadp) == connp->rxNextSequence) {
            RfPacket* wp = connp->rxWaitHeadp;
            listUnlink(&connp->rxWaitHeadp, &connp->rxWaitTailp, wp);
            heldSub(connp, wp);
            deliverInOrder(connp, wp);
        }
    } else {
        connp->rfp->stats.rxUnexpected++;
        // Each missing number is reported once (rxNextSack moves past it); it is listed
        // again only after in-order delivery or a resend time-out moves rxNextSack back.
        bool duplicate = false;
        uint32_t ahead = hp->sequence - connp->rxNextSequence;
        if (seqBefore(connp->rxNextSequence, hp->sequence) && ahead <= 2u * connp->windowSize) {
            RfPacket* afterp = connp->rxWaitTailp;
            while (afterp != nullptr && seqBefore(hp->sequence, packetSequence(connp, afterp))) {
                afterp = afterp->prevp;
            }
            if (afterp != nullptr && packetSequence(connp, afterp) == hp->sequence) {
                duplicate = true;
                Rf_freePacket(p);
            } else {
                p->prevp = afterp;
                p->nextp = afterp != nullptr ? afterp->nextp : connp->rxWaitHeadp;
                if (p->nextp != nullptr) {
                    p->nextp->prevp = p;
                } else {
                    connp->rxWaitTailp = p;
                }
                if (afterp != nullptr) {
                    afterp->nextp = p;
                } else {
                    connp->rxWaitHeadp = p;
                }
                heldAdd(connp, p);
            }
        } else {
            Rf_freePacket(p);
        }
        if (!duplicate) {
            transmitAck(connp, true);
        }
    }
    performAckWork(connp, hp->sequenceAck, hp->window, 0, nullptr, 0);
    return inOrder;
}

void sawCongestion(RfConn* connp, bool timeout) {
    int16_t threshold = connp->cwnd < static_cast<int32_t>(connp->txAdvertisedWindow)
                            ? connp->cwnd
                            : static_cast<int16_t>(connp->txAdvertisedWindow);
    connp->ssthresh = threshold < 2 ? 2 : threshold;
    if (timeout) {
        connp->cwnd = kInitialCwnd;
        connp->cwndDivisor = 0;
    }
}

void performAckWork(RfConn* connp, uint32_t sequenceAck, uint16_t window, uint32_t kind,
                    const uint32_t* listp, uint32_t count) {
    if (seqBefore(sequenceAck, connp->txFirstUnacked)) {
        sawCongestion(connp, false);
        return;
    }
    if (seqBefore(connp->txNextSequence, sequenceAck)) {
        return;  // acknowledges what was never sent
    }
    bool freed = false;
    while (connp->txHeadp != nullptr &&
           seqBefore(packetSequence(connp, connp->txHeadp), sequenceAck)) {
        RfPacket* p = connp->txHeadp;
        if (connp->txNextSendp == p) {
            connp->txNextSendp = p->nextp;
        }
        listUnlink(&connp->txHeadp, &connp->txTailp, p);
        Rf_freePacket(p);
        freed = true;
    }
    connp->txFirstUnacked = sequenceAck;
    connp->txAdvertisedWindow = window;
    if (freed) {
        connp->errorMs = 0;
        if (connp->cwnd <= connp->ssthresh) {
            connp->cwnd++;
        } else if (++connp->cwndDivisor >= connp->cwnd) {
            connp->cwnd++;
            connp->cwndDivisor = 0;
        }
        if (connp->cwnd > kMaxCwnd) {
            connp->cwnd = kMaxCwnd;
        }
        // Re-armed even when nothing is left queued: its expiry then still counts a
        // time-out and notes congestion, so a connection idle for a back-off interval
        // starts again from a congestion window of 1.
        armResendTimer(connp);
    }
    if (isBinding(connp)) {
        return;
    }
    if (kind == RF_ACK_LIST && count > 0) {
        uint32_t listed = count < kMaxSackResends ? count : kMaxSackResends;
        for (RfPacket* p = connp->txHeadp; p != nullptr && p != connp->txNextSendp; p = p->nextp) {
            uint32_t sequence = packetSequence(connp, p);
            for (uint32_t i = 0; i < listed; i++) {
                if (listp[i] == sequence) {
                    transmitQueued(connp, p);
                    connp->resendSack++;
                    break;
                }
            }
        }
    }
    sendWindow(connp);
}

void processAck(RfConn* connp, RfPacket* p, const RfHeader* hp) {
    uint32_t kind = 0;
    int32_t offset = RF_HEADER_SIZE;
    if (hp->flags & RF_FLAG_EXTENSION) {
        if (p->size < offset + 4) {
            return;
        }
        kind = getLe32(p->datap + offset);
        offset += 4;
    }
    if (kind == RF_ACK_RESET) {
        if (connp->flags & RF_CONN_CLIENT) {
            resetClientConn(connp, RF_ERR_RESET, false);
        }
        return;
    }
    uint32_t list[kMaxSackResends];
    uint32_t count = 0;
    if (p->size >= offset + 4) {
        uint32_t announced = getLe32(p->datap + offset);
        offset += 4;
        while (count < announced && count < kMaxSackResends && p->size >= offset + 4) {
            list[count++] = getLe32(p->datap + offset);
            offset += 4;
        }
    }
    performAckWork(connp, hp->sequenceAck, hp->window, kind, list, count);
}

bool hasServer(const Rf* rfp) {
    for (int i = 0; i < RF_SERVER_CHAINS; i++)
        if (rfp->serverIidHashp[i] != nullptr)
            return true;
    return false;
}

void processBind(Rf* rfp, RfPacket* p, const RfHeader* hp, const struct sockaddr_in* fromp) {
    // An engine that serves nothing is only a client: nobody binds to it.
    if (p->size < RF_HEADER_SIZE + RF_BIND_INFO_SIZE || !hasServer(rfp)) {
        return;
    }
    const uint8_t* infop = p->datap + RF_HEADER_SIZE;
    RfConn* connp = nullptr;
    for (int i = 0; i < RF_MAX_CONNS && connp == nullptr; i++) {
        RfConn* candidatep = rfp->connHashp[i];
        if (candidatep != nullptr && !(candidatep->flags & RF_CONN_CLIENT) &&
            memcmp(candidatep->bindInfo, infop, RF_BIND_INFO_SIZE) == 0) {
            connp = candidatep;
        }
    }
    if (connp != nullptr) {
        // A rebinding client: its old calls must no longer match.
        connp->connId += kConnGeneration;
        resetServerConn(connp);
        connp->rebindCount++;
    } else {
        connp = takeConn(rfp);
        if (connp == nullptr) {
            return;
        }
        connp->flags = 0;
        memcpy(connp->bindInfo, infop, RF_BIND_INFO_SIZE);
    }
    connp->remoteConnId = hp->connIdSrc;
    setAllSequences(connp, hp->sequence);
    connp->lastUse = ++rfp->lastUseCounter;
    connp->toAddr = *fromp;
    connp->bindCount++;
    RfPacket* rp = RfUser_allocPacket(rfp->endp);
    if (rp == nullptr) {
        return;
    }
    nbuf_addHeader(rp, RF_HEADER_SIZE);
    RfHeader h{};
    h.flags = RF_TYPE_BIND_RESPONSE;
    h.window = connp->windowSize;
    h.connIdDest = hp->connIdSrc;
    h.connIdSrc = connp->connId;
    h.sequence = hp->sequence;
    h.sequenceAck = hp->sequence;
    Rf_writeHeader(rp, &h);
    rfp->endp->h->sendPacketProcp(rfp->endp, &connp->toAddr, rp);
}

void processBindResponse(RfConn* connp, const RfHeader* hp) {
    connp->flags &= ~(RF_CONN_BIND_NEEDED | RF_CONN_BIND_OUTSTANDING);
    connp->remoteConnId = hp->connIdSrc;
    connp->errorMs = 0;
    for (RfPacket* p = connp->txHeadp; p != nullptr; p = p->nextp) {
        putLe32(p->datap + kOffConnIdDest, connp->remoteConnId);
        putLe16(p->datap + kOffWindow, connp->windowSize);
        putLe32(p->datap + kOffSequenceAck, connp->rxNextSequence);
    }
    // The bind's timer gives way to one for the requests now going out.
    if (connp->txHeadp != nullptr) {
        armResendTimer(connp);
    } else {
        cancelTimer(&connp->resendTimeoutp);
    }
    performAckWork(connp, hp->sequenceAck, hp->window, 0, nullptr, 0);
}

void resendBind(RfConn* connp) {
    connp->flags &= ~RF_CONN_BIND_OUTSTANDING;
    connp->errorMs += backoffMs(connp);
    if (connp->errorMs <= connp->rfp->defaultCommTimeout) {
        rebind(connp);
    } else {
        resetClientConn(connp, RF_ERR_BIND_FAILED, true);
    }
}

void resendTimerFired(void* contextp, RfTimeout*) {
    RfConn* connp = static_cast<RfConn*>(contextp);
    Rf* rfp = connp->rfp;
    connp->resendTimeoutp = nullptr;
    if (connp->flags & RF_CONN_BIND_OUTSTANDING) {
        resendBind(connp);
        runUpcalls(rfp);
        return;
    }
    rfp->stats.txResends++;
    connp->timeOuts++;
    sawCongestion(connp, true);
    if (connp->txHeadp == nullptr) {
        return;
    }
    connp->errorMs += backoffMs(connp);
    if (connp->flags & RF_CONN_CLIENT) {
        if (connp->errorMs > rfp->defaultCommTimeout) {
            resetClientConn(connp, RF_ERR_RESPONSE_TIMEOUT, true);
            runUpcalls(rfp);
            return;
        }
    } else if (connp->errorMs >= kServerGiveUpMs) {
        destroyConn(connp);
        return;
    }
    if (isBinding(connp)) {
        return;
    }
    connp->resendHead++;
    transmitQueued(connp, connp->txHeadp);
    connp->rxNextSack = connp->rxNextSequence;
    connp->txNextSendp = connp->txHeadp->nextp;
    sendWindow(connp);
    armResendTimer(connp);
}

void delayedAckFired(void* contextp, RfTimeout*) {
    RfConn* connp = static_cast<RfConn*>(contextp);
    connp->delayedAckTimeoutp = nullptr;
    transmitAck(connp, true);
}

void monitorFired(void* contextp, RfTimeout*) {
    Rf* rfp = static_cast<Rf*>(contextp);
    rfp->monitorTimeoutp = nullptr;
    RfTimeout_schedule(rfp->endp, monitorFired, rfp, kMonitorIntervalMs, &rfp->monitorTimeoutp);
    // A message begun but not finished within the connection's back-off
    // limit is given up: its packets go.
    for (int i = 0; i < RF_MAX_CONNS; i++) {
        RfConn* connp = rfp->connHashp[i];
        if (connp == nullptr || connp->rxReadHeadp == nullptr)
            continue;
        connp->rxStalledMs += kMonitorIntervalMs;
        if (connp->rxStalledMs >= backoffMs(connp)) {
            freeHeld(connp, &connp->rxReadHeadp, &connp->rxReadTailp);
            connp->rxStalledMs = 0;
        }
    }
    for (int i = 0; i < RF_MAX_CLIENT_CALLS; i++) {
        RfClientCall* callp = &rfp->clientCalls[i];
        if (!callp->running) {
            continue;
        }
        callp->timeoutSecs -= kMonitorStepSecs;
        if (callp->timeoutSecs < 1) {
            endClientCall(rfp, callp, nullptr, RF_ERR_CALL_TIMEOUT);
        }
    }
    runUpcalls(rfp);
}

}  // namespace

void Rf_readHeader(const RfPacket* p, RfHeader* hp) {
    const uint8_t* b = p->datap;
    hp->flags = b[0];
    hp->fragment = b[1];
    hp->window = static_cast<uint16_t>(b[2] | (b[3] << 8));
    hp->connIdDest = getLe32(b + 4);
    hp->connIdSrc = getLe32(b + 8);
    hp->sequence = getLe32(b + 12);
    hp->sequenceAck = getLe32(b + 16);
    hp->channelId = getLe32(b + 20);
    hp->call = getLe32(b + 24);
    hp->interfaceId = getLe32(b + 28);
}

void Rf_writeHeader(RfPacket* p, const RfHeader* hp) {
    uint8_t* b = p->datap;
    b[0] = hp->flags;
    b[1] = hp->fragment;
    putLe16(b + 2, hp->window);
    putLe32(b + 4, hp->connIdDest);
    putLe32(b + 8, hp->connIdSrc);
    putLe32(b + 12, hp->sequence);
    putLe32(b + 16, hp->sequenceAck);
    putLe32(b + 20, hp->channelId);
    putLe32(b + 24, hp->call);
    putLe32(b + 28, hp->interfaceId);
}

int Rf_create(RfUserEndPoint* endp, Rf** rfpp) {
    Rf* rfp = new (std::nothrow) Rf();
    if (rfp == nullptr) {
        return -1;
    }
    rfp->connHashp = new (std::nothrow) RfConn*[RF_MAX_CONNS]();
    rfp->clientCalls = new (std::nothrow) RfClientCall[RF_MAX_CLIENT_CALLS]();
    rfp->serverIidHashp = new (std::nothrow) RfServer*[RF_SERVER_CHAINS]();
    if (rfp->connHashp == nullptr || rfp->clientCalls == nullptr ||
        rfp->serverIidHashp == nullptr) {
        delete[] rfp->connHashp;
        delete[] rfp->clientCalls;
        delete[] rfp->serverIidHashp;
        delete rfp;
        return -1;
    }
    rfp->initWindow = 64;
    rfp->defaultCallTimeoutSecs = 30;
    rfp->defaultCommTimeout = 30000;
    rfp->endp = endp;
    for (int i = RF_MAX_CLIENT_CALLS - 1; i >= 0; i--) {
        RfClientCall* callp = &rfp->clientCalls[i];
        callp->index = static_cast<uint16_t>(i);
        callp->nextp = rfp->clientCallFreeListp;
        rfp->clientCallFreeListp = callp;
    }
    pthread_mutex_lock(&rfGlobalMutex);
    endp->h->setIndicateProcp(endp, Rf_indicate, rfp);
    RfTimeout_schedule(endp, monitorFired, rfp, kMonitorIntervalMs, &rfp->monitorTimeoutp);
    rfp->nextp = rfGlobalListp;
    rfGlobalListp = rfp;
    pthread_mutex_unlock(&rfGlobalMutex);
    *rfpp = rfp;
    return 0;
}

void Rf_destroy(Rf* rfp) {
    pthread_mutex_lock(&rfGlobalMutex);
    Rf** linkp = &rfGlobalListp;
    Rf* trfp = nullptr;
    while (*linkp != nullptr) {
        if (*linkp == rfp) {
            trfp = rfp;
            *linkp = rfp->nextp;
            break;
        }
        linkp = &(*linkp)->nextp;
    }
    RF_ASSERT(trfp, "trfp");
    rfp->endp->h->setIndicateProcp(rfp->endp, nullptr, nullptr);
    cancelTimer(&rfp->monitorTimeoutp);
    for (int i = 0; i < RF_MAX_CONNS; i++) {
        RfConn* connp = rfp->connHashp[i];
        if (connp == nullptr) {
            continue;
        }
        cancelTimer(&connp->resendTimeoutp);
        cancelTimer(&connp->delayedAckTimeoutp);
        listFree(&connp->rxReadHeadp, &connp->rxReadTailp);
        listFree(&connp->rxWaitHeadp, &connp->rxWaitTailp);
        listFree(&connp->txHeadp, &connp->txTailp);
        delete connp;
    }
    while (rfp->connFreeListp != nullptr) {
        RfConn* connp = rfp->connFreeListp;
        rfp->connFreeListp = connp->nextp;
        delete connp;
    }
    while (rfp->allServerCallsp != nullptr) {
        RfServerCall* callp = rfp->allServerCallsp;
        rfp->allServerCallsp = callp->allNextp;
        cancelTimer(&callp->reallocTimeoutp);
        delete callp;
    }
    for (int i = 0; i < RF_SERVER_CHAINS; i++) {
        while (rfp->serverIidHashp[i] != nullptr) {
            RfServer* serverp = rfp->serverIidHashp[i];
            rfp->serverIidHashp[i] = serverp->nextp;
            delete serverp;
        }
    }
    for (RfUpcall& up : rfp->pendingUpcalls) {
        if (up.packetp != nullptr) {
            Rf_freePacket(up.packetp);
        }
    }
    pthread_mutex_unlock(&rfGlobalMutex);
    delete[] rfp->connHashp;
    delete[] rfp->clientCalls;
    delete[] rfp->serverIidHashp;
    delete rfp;
}

Rf* Rf_getGlobalList() {
    pthread_mutex_lock(&rfGlobalMutex);
    Rf* headp = rfGlobalListp;
    pthread_mutex_unlock(&rfGlobalMutex);
    return headp;
}

int Rf_createClientConn(Rf* rfp, const struct sockaddr_in* addrp, uint32_t interfaceId,
                        RfConn** connpp) {
    pthread_mutex_lock(&rfGlobalMutex);
    RfConn* connp = takeConn(rfp);
    if (connp == nullptr) {
        pthread_mutex_unlock(&rfGlobalMutex);
        return -1;
    }
    connp->toAddr = *addrp;
    connp->interfaceId = interfaceId;
    connp->flags = RF_CONN_CLIENT | RF_CONN_BIND_NEEDED;
    rfp->endp->h->getUniqueProcp(rfp->endp, connp->bindInfo, RF_BIND_INFO_SIZE);
    setAllSequences(connp, newInitialSequence(rfp->endp));
    connp->lastUse = ++rfp->lastUseCounter;
    *connpp = connp;
    runUpcalls(rfp);
    pthread_mutex_unlock(&rfGlobalMutex);
    return 0;
}

void Rf_destroyClientConn(RfConn* connp) {
    Rf* rfp = connp->rfp;
    pthread_mutex_lock(&rfGlobalMutex);
    destroyConn(connp);
    runUpcalls(rfp);
    pthread_mutex_unlock(&rfGlobalMutex);
}

int Rf_call(RfConn* connp, RfPacket* reqp, RfCallProc procp, void* contextp) {
    return Rf_iCall(connp, reqp, procp, contextp, connp->interfaceId, 0);
}

int Rf_iCall(RfConn* connp, RfPacket* reqp, RfCallProc procp, void* contextp, uint32_t interfaceId,
             int32_t timeoutSecs) {
    return Rf_baseCall(connp, reqp, procp, contextp, interfaceId, timeoutSecs);
}

int Rf_baseCall(RfConn* connp, RfPacket* reqp, RfCallProc procp, void* contextp,
                uint32_t interfaceId, int32_t timeoutSecs) {
    RF_ASSERT(((reqp)->size) <= RF_MAX_BODY, "((reqp)->size) <= 9000");
    Rf* rfp = connp->rfp;
    pthread_mutex_lock(&rfGlobalMutex);
    rfp->stats.txCalls++;
    if (connp->flags & RF_CONN_BIND_NEEDED) {
        rebind(connp);
    }
    RfClientCall* callp = rfp->clientCallFreeListp;
    if (callp == nullptr) {
        pthread_mutex_unlock(&rfGlobalMutex);
        Rf_freePacket(reqp);
        procp(contextp, nullptr, RF_ERR_NO_CALL_SLOT);
        return 0;
    }
    rfp->clientCallFreeListp = callp->nextp;
    callp->nextp = nullptr;
    callp->procp = procp;
    callp->contextp = contextp;
    callp->running = 1;
    callp->terminateMe = 0;
    callp->connp = connp;
    callp->sequence = connp->txNextSequence;
    callp->timeoutSecs =
        (timeoutSecs != 0 ? timeoutSecs : rfp->defaultCallTimeoutSecs) + kCallTimeoutSlackSecs;
    buildHeader(connp, reqp, RF_TYPE_DATA | RF_FLAG_LAST, callp->index, callp->call, interfaceId);
    connp->lastUse = ++rfp->lastUseCounter;
    queueAndSend(connp, reqp);
    runUpcalls(rfp);
    pthread_mutex_unlock(&rfGlobalMutex);
    return 0;
}

void Rf_setDefaultCallTimeout(Rf* rfp, int32_t secs) {
    pthread_mutex_lock(&rfGlobalMutex);
    rfp->defaultCallTimeoutSecs = secs;
    pthread_mutex_unlock(&rfGlobalMutex);
}

void Rf_setDefaultCommTimeout(Rf* rfp, int32_t secs) {
    pthread_mutex_lock(&rfGlobalMutex);
    rfp->defaultCommTimeout = secs * 1000;
    pthread_mutex_unlock(&rfGlobalMutex);
}

void Rf_getStats(Rf* rfp, RfStats* statsp) {
    pthread_mutex_lock(&rfGlobalMutex);
    *statsp = rfp->stats;
    pthread_mutex_unlock(&rfGlobalMutex);
}

int Rf_createServer(Rf* rfp, uint32_t interfaceId, RfServerProc procp, void* contextp,
                    RfServer** serverpp) {
    RfServer* serverp = new (std::nothrow) RfServer();
    if (serverp == nullptr) {
        return -1;
    }
    serverp->interfaceId = interfaceId;
    serverp->rfp = rfp;
    serverp->serverProcp = procp;
    serverp->serverContextp = contextp;
    pthread_mutex_lock(&rfGlobalMutex);
    RfServer** chainp = &rfp->serverIidHashp[interfaceId & (RF_SERVER_CHAINS - 1)];
    serverp->nextp = *chainp;
    *chainp = serverp;
    pthread_mutex_unlock(&rfGlobalMutex);
    if (serverpp != nullptr) {
        *serverpp = serverp;
    }
    return 0;
}

void Rf_setREDFlag(RfServer* serverp, int flag) {
    pthread_mutex_lock(&rfGlobalMutex);
    serverp->redFlag = flag;
    pthread_mutex_unlock(&rfGlobalMutex);
}

int Rf_getREDState(RfServer*) {
    return 0;
}

int Rf_sendResponse(RfServerCall* callp, RfPacket* responsep) {
    RF_ASSERT(((responsep)->size) <= RF_MAX_BODY, "((reqp)->size) <= 9000");
    Rf* rfp = callp->rfp;
    pthread_mutex_lock(&rfGlobalMutex);
    if (!serverCallConnAlive(callp)) {
        Rf_freePacket(responsep);
    } else {
        RfConn* connp = callp->connp;
        buildHeader(connp, responsep, RF_TYPE_RESPONSE | RF_FLAG_LAST, callp->index, callp->call,
                    connp->interfaceId);
        connp->lastUse = ++rfp->lastUseCounter;
        queueAndSend(connp, responsep);
    }
    releaseServerCall(rfp, callp);
    pthread_mutex_unlock(&rfGlobalMutex);
    return 0;
}

void Rf_indicate(RfUserEndPoint*, void* contextp, RfPacket* p, const struct sockaddr_in* fromp) {
    Rf* rfp = static_cast<Rf*>(contextp);
    if (p->size < RF_HEADER_SIZE) {
        Rf_freePacket(p);
        return;
    }
    RfHeader h;
    Rf_readHeader(p, &h);
    uint8_t type = h.flags & RF_TYPE_MASK;
    if (type == RF_TYPE_BIND) {
        processBind(rfp, p, &h, fromp);
        Rf_freePacket(p);
        return;
    }
    if (type > RF_TYPE_BIND_RESPONSE) {
        Rf_freePacket(p);
        return;
    }
    RfConn* connp = rfp->connHashp[h.connIdDest & kSlotMask];
    bool sameConn = connp != nullptr && connp->connId == h.connIdDest;
    // A connection hears its peer alone.
    if (sameConn && (fromp->sin_addr.s_addr != connp->toAddr.sin_addr.s_addr ||
                     fromp->sin_port != connp->toAddr.sin_port)) {
        rfp->stats.rxForeignDiscards++;
        Rf_freePacket(p);
        return;
    }
    if (type == RF_TYPE_BIND_RESPONSE) {
        if (sameConn && (connp->flags & RF_CONN_BIND_OUTSTANDING)) {
            processBindResponse(connp, &h);
        }
        Rf_freePacket(p);
        runUpcalls(rfp);
        return;
    }
    if (sameConn && isBinding(connp)) {
        Rf_freePacket(p);
        return;
    }
    if (sameConn && connp->remoteConnId == h.connIdSrc) {
        connp->lastUse = ++rfp->lastUseCounter;
        if (type == RF_TYPE_DATA || type == RF_TYPE_RESPONSE) {
            bool inOrder = processIncomingData(connp, p, &h);
            if ((h.flags & RF_FLAG_ACK_REQUESTED) && inOrder &&
                rfp->connHashp[h.connIdDest & kSlotMask] == connp &&
                connp->connId == h.connIdDest && !isBinding(connp)) {
                requestAck(connp);
            }
        } else {
            rfp->stats.rxAcks++;
            processAck(connp, p, &h);
            Rf_freePacket(p);
        }
        runUpcalls(rfp);
        return;
    }
    if (type == RF_TYPE_DATA) {
        sendResetNotice(rfp, &h, fromp);
    }
    Rf_freePacket(p);
}
