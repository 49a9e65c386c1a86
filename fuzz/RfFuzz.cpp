// Feeds arbitrary datagrams to an Rf engine on a fake endpoint (sending only
// frees or keeps the packets; the clock is moved by hand). The input is a
// list of datagrams, each a 2-byte length (little-endian) and its bytes; a
// length of 0 moves the clock 2.5 s and runs the due timers instead. The
// engine has a client connection with one call outstanding and a server, so
// that both sides' paths are reachable: the header reader, binds, data,
// acknowledgements and selective lists, resets, resends, time-outs.

#include <netinet/in.h>
#include <sys/time.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "RfPthread.h"
#include "RfUserPthread.h"

namespace {

timeval g_now = {100000, 0};

void fakeClock(void*, timeval* tvp) {
    *tvp = g_now;
}

int sendAndFree(RfUserEndPoint*, const sockaddr_in*, RfPacket* p) {
    Rf_freePacket(p);
    return 0;
}
int sendAndKeep(RfUserEndPoint*, const sockaddr_in*, RfPacket*) {
    return 0;
}
int fixedUnique(RfUserEndPoint*, uint8_t* bufp, int len) {
    if (len < 16)
        return -1;
    memset(bufp, 0x5A, 16);
    return 0;
}

const RFEndPointOps kOps = {sendAndFree, sendAndKeep, RfUser_setIndicate, RfUser_getSequence,
                            fixedUnique};

void serve(void*, RfServerCall* callp, RfPacket* requestp) {
    Rf_sendResponse(callp, requestp);  // echoes the request
}
void done(void*, RfPacket* responsep, int32_t) {
    if (responsep != nullptr)
        Rf_freePacket(responsep);
}

sockaddr_in peer() {
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(9);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    RfUserEndPoint* endp = new RfUserEndPoint();
    endp->h = &kOps;
    endp->s = -1;
    endp->clockProcp = fakeClock;
    Rf* rf = nullptr;
    if (Rf_create(endp, &rf) != 0) {
        RfUser_destroyUDPEndPoint(endp);
        return 0;
    }
    Rf_createServer(rf, 9, serve, nullptr, nullptr);
    sockaddr_in from = peer();
    RfConn* conn = nullptr;
    Rf_createClientConn(rf, &from, 9, &conn);
    if (conn != nullptr) {
        RfPacket* req = RfUser_allocPacket(endp);
        nbuf_addIov(req, "call", 4);
        Rf_call(conn, req, done, nullptr);
    }
    size_t pos = 0;
    while (pos + 2 <= size) {
        size_t length = data[pos] | (static_cast<size_t>(data[pos + 1]) << 8);
        pos += 2;
        pthread_mutex_lock(&rfGlobalMutex);
        if (length == 0) {
            g_now.tv_sec += 2;
            g_now.tv_usec += 500000;
            if (g_now.tv_usec >= 1000000) {
                g_now.tv_sec++;
                g_now.tv_usec -= 1000000;
            }
            RfUser_runTimers(endp);
        } else {
            if (length > size - pos)
                length = size - pos;
            if (length > RF_PACKET_DATA_ROOM)
                length = RF_PACKET_DATA_ROOM;
            RfPacket* p = RfUser_allocPacket(endp);
            nbuf_addIov(p, data + pos, static_cast<int32_t>(length));
            pos += length;
            RfHeader h;
            if (p->size >= RF_HEADER_SIZE)
                Rf_readHeader(p, &h);
            Rf_indicate(endp, rf, p, &from);
        }
        pthread_mutex_unlock(&rfGlobalMutex);
    }
    if (conn != nullptr)
        Rf_destroyClientConn(conn);
    Rf_destroy(rf);
    RfUser_destroyUDPEndPoint(endp);
    return 0;
}
