#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <deque>

#include "RfPacketUser.h"
#include "RfUserPthread.h"

// Wire header in front of every datagram: 32 bytes, little-endian.
constexpr int32_t RF_HEADER_SIZE = 32;
constexpr int32_t RF_MAX_BODY = 9000;
constexpr int32_t RF_BIND_INFO_SIZE = 16;

// Packet types (low three bits of flags) and flag bits.
constexpr uint8_t RF_TYPE_DATA = 0;
constexpr uint8_t RF_TYPE_RESPONSE = 1;
constexpr uint8_t RF_TYPE_ACK = 2;
constexpr uint8_t RF_TYPE_BIND = 3;
constexpr uint8_t RF_TYPE_BIND_RESPONSE = 4;
constexpr uint8_t RF_TYPE_MASK = 7;
constexpr uint8_t RF_FLAG_ACK_REQUESTED = 8;
constexpr uint8_t RF_FLAG_LAST = 16;
constexpr uint8_t RF_FLAG_EXTENSION = 32;

// Acknowledgement kinds carried in the extension word.
constexpr uint32_t RF_ACK_RESET = 1;
constexpr uint32_t RF_ACK_LIST = 2;

// Errors passed to call callbacks.
constexpr int32_t RF_ERR_CALL_TIMEOUT = -1;
constexpr int32_t RF_ERR_RESPONSE_TIMEOUT = -2;
constexpr int32_t RF_ERR_BIND_FAILED = -3;
constexpr int32_t RF_ERR_NO_CALL_SLOT = -4;
constexpr int32_t RF_ERR_RESET = 1;
constexpr int32_t RF_ERR_NO_SERVER = 1000;

constexpr int RF_MAX_CONNS = 4096;
// Bytes of received packets an engine holds for messages being assembled and
// for packets that came out of order: per connection and in all. Beyond
// them packets are dropped, and the peer's resending brings them again.
constexpr uint32_t RF_MAX_HELD_PER_CONN = 1u << 20;
constexpr uint32_t RF_MAX_HELD_TOTAL = 16u << 20;
constexpr int RF_MAX_CLIENT_CALLS = 4096;
constexpr int RF_SERVER_CHAINS = 32;

// Connection flags.
constexpr uint32_t RF_CONN_CLIENT = 1;
constexpr uint32_t RF_CONN_UPCALL = 2;
constexpr uint32_t RF_CONN_BIND_NEEDED = 4;
constexpr uint32_t RF_CONN_BIND_OUTSTANDING = 8;

struct RfHeader {
    uint8_t flags;
    uint8_t fragment;
    uint16_t window;
    uint32_t connIdDest;
    uint32_t connIdSrc;
    uint32_t sequence;
    uint32_t sequenceAck;
    uint32_t channelId;
    uint32_t call;
    uint32_t interfaceId;
};

struct Rf;
struct RfServer;
struct RfServerCall;
struct RfConn;

// Completion of a client call: (context, response packet or null, error).
typedef void (*RfCallProc)(void* contextp, RfPacket* responsep, int32_t error);
// Server upcall: (context, server call to answer with Rf_sendResponse, request body).
typedef void (*RfServerProc)(void* contextp, RfServerCall* callp, RfPacket* requestp);

struct RfStats {
    uint32_t rxAcks;
    uint32_t rxCalls;
    uint32_t rxUnexpected;
    uint32_t txAcks;
    uint32_t txCalls;
    uint32_t txResends;
    uint32_t txStalls;
    uint32_t rxREDDiscards;
    uint32_t rxHeldDiscards;  // packets dropped for the held-bytes bounds
    uint32_t rxForeignDiscards;  // packets from an address not their connection's peer
};

struct RfConn {
    RfConn* nextp;
    uint32_t connId;  // low 12 bits: slot; the rest: generation
    uint32_t remoteConnId;
    uint32_t flags;
    Rf* rfp;
    uint16_t windowSize;
    struct sockaddr_in toAddr;
    uint32_t interfaceId;
    int32_t errorMs;
    int32_t timeOuts;
    uint32_t resendHead;
    uint32_t resendSack;
    uint32_t rxNextSack;
    uint32_t rxNextSequence;
    uint32_t rxSequenceSent;
    uint32_t rxAckRequested;
    RfPacket* rxReadHeadp;
    RfPacket* rxReadTailp;
    RfPacket* rxWaitHeadp;
    RfPacket* rxWaitTailp;
    uint32_t txNextSequence;
    uint32_t txFirstUnacked;
    RfPacket* txHeadp;
    RfPacket* txTailp;
    uint32_t txNextSend;
    RfPacket* txNextSendp;
    RfTimeout* resendTimeoutp;
    RfTimeout* delayedAckTimeoutp;
    uint16_t bindCount;
    uint16_t rebindCount;
    uint8_t bindInfo[RF_BIND_INFO_SIZE];
    uint32_t lastUse;
    uint16_t txAdvertisedWindow;
    int16_t cwnd;
    int16_t cwndDivisor;
    int16_t ssthresh;
    RfServerCall* debugServerCallp;
    int32_t upcallsRunning;  // server upcalls in progress (flag bit 1 while nonzero)
    uint32_t rxHeldBytes;    // of the packets on rxRead and rxWait
    int32_t rxStalledMs;     // since a partly assembled message last grew
};

struct RfClientCall {
    RfClientCall* nextp;
    RfConn* connp;
    uint32_t call;
    uint16_t index;
    unsigned running : 1;
    unsigned terminateMe : 1;
    int32_t timeoutSecs;
    uint32_t sequence;
    RfCallProc procp;
    void* contextp;
};

struct RfServer {
    RfServer* nextp;
    uint32_t interfaceId;
    Rf* rfp;
    RfServerProc serverProcp;
    void* serverContextp;
    int redFlag;
};

struct RfServerCall {
    RfServerCall* nextp;
    RfServer* serverp;
    RfConn* connp;
    uint32_t index;
    uint32_t call;
    uint32_t connId;
    void* user1p;
    RfServerCall* allNextp;
    RfTimeout* reallocTimeoutp;
    int32_t queuedError;
    Rf* rfp;
    uint32_t reserved[5];
};

// A user callback waiting to be made with rfGlobalMutex released.
struct RfUpcall {
    RfCallProc callProcp;
    RfServerProc serverProcp;
    void* contextp;
    RfPacket* packetp;
    int32_t error;
    RfServerCall* serverCallp;
    RfConn* connp;
};

struct Rf {
    Rf* nextp;
    int32_t initWindow;
    uint32_t nextConnIdLow;
    RfTimeout* monitorTimeoutp;
    int32_t defaultCallTimeoutSecs;
    int32_t defaultCommTimeout;  // milliseconds
    RfConn** connHashp;
    int32_t numConns;
    RfConn* connFreeListp;
    RfClientCall* clientCalls;
    RfClientCall* clientCallFreeListp;
    RfServer** serverIidHashp;
    RfServerCall* serverCallFreeListp;
    RfServerCall* allServerCallsp;
    RfUpcall* processHeadp;
    RfUpcall* processTailp;
    RfUserEndPoint* endp;
    uint32_t lastUseCounter;
    uint32_t rxHeldBytes;  // rxHeldBytes of every connection
    RfStats stats;
    std::deque<RfUpcall> pendingUpcalls;
};

// Reads and writes the wire header at the start of a packet's data.
void Rf_readHeader(const RfPacket* p, RfHeader* hp);
void Rf_writeHeader(RfPacket* p, const RfHeader* hp);

int Rf_create(RfUserEndPoint* endp, Rf** rfpp);
void Rf_destroy(Rf* rfp);
Rf* Rf_getGlobalList();

int Rf_createClientConn(Rf* rfp, const struct sockaddr_in* addrp, uint32_t interfaceId,
                        RfConn** connpp);
void Rf_destroyClientConn(RfConn* connp);

int Rf_call(RfConn* connp, RfPacket* reqp, RfCallProc procp, void* contextp);
int Rf_iCall(RfConn* connp, RfPacket* reqp, RfCallProc procp, void* contextp, uint32_t interfaceId,
             int32_t timeoutSecs);
int Rf_baseCall(RfConn* connp, RfPacket* reqp, RfCallProc procp, void* contextp,
                uint32_t interfaceId, int32_t timeoutSecs);

void Rf_setDefaultCallTimeout(Rf* rfp, int32_t secs);
void Rf_setDefaultCommTimeout(Rf* rfp, int32_t secs);
void Rf_getStats(Rf* rfp, RfStats* statsp);

int Rf_createServer(Rf* rfp, uint32_t interfaceId, RfServerProc procp, void* contextp,
                    RfServer** serverpp);
void Rf_setREDFlag(RfServer* serverp, int flag);
int Rf_getREDState(RfServer* serverp);
int Rf_sendResponse(RfServerCall* callp, RfPacket* responsep);

// Receive callback installed in the endpoint; runs on the dispatch thread with
// rfGlobalMutex held.
void Rf_indicate(RfUserEndPoint* endp, void* contextp, RfPacket* p,
                 const struct sockaddr_in* fromp);
