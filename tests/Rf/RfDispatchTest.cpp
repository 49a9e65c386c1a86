// The UDP endpoint with a real dispatch thread: receiving, sending with loss, timers, the
// single-thread rule and the incarnation identity.

#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "RfTestPeer.h"
#include "RfUserPthread.h"

namespace {

struct Received {
    std::atomic<int> count{0};
    std::string first;
    uint16_t fromPort = 0;
};

void onReceive(RfUserEndPoint*, void* contextp, RfPacket* p, const struct sockaddr_in* fromp) {
    Received* rp = static_cast<Received*>(contextp);
    if (rp->count.load() == 0) {
        rp->first.assign(reinterpret_cast<char*>(p->datap), p->size);
        rp->fromPort = ntohs(fromp->sin_port);
    }
    Rf_freePacket(p);
    rp->count++;
}

void onTimer(void* contextp, RfTimeout*) {
    static_cast<std::atomic<int>*>(contextp)->fetch_add(1);
}

template <typename F>
bool waitFor(F done) {
    for (int i = 0; i < 500 && !done(); i++) {
        usleep(10000);
    }
    return done();
}

TEST(RfDispatchTest, ReceivesSendsWithDropAndFiresTimers) {
    RfUserEndPoint* endp = nullptr;
    ASSERT_EQ(RfUser_createUDPEndPoint(0, &endp), 0);
    EXPECT_NE(RfUser_getEndPointPort(endp), 0);
    Received received;
    endp->h->setIndicateProcp(endp, onReceive, &received);
    pthread_t thread;
    ASSERT_EQ(RfUser_startDispatchThread(&thread, nullptr, endp), 0);
    EXPECT_TRUE(RfUser_isDispatchThreadRunning());
    pthread_t second;
    EXPECT_EQ(RfUser_startDispatchThread(&second, nullptr, endp), 11);

    RfTestPeer peer;
    peer.sendRaw(RfUser_getEndPointPort(endp), {'h', 'i', '!'});
    ASSERT_TRUE(waitFor([&] { return received.count.load() == 1; }));
    EXPECT_EQ(received.first, "hi!");
    EXPECT_EQ(received.fromPort, ntohs(peer.address().sin_port));

    std::atomic<int> timers{0};
    pthread_mutex_lock(&rfGlobalMutex);
    RfTimeout* tp = nullptr;
    RfTimeout_schedule(endp, onTimer, &timers, 0, &tp);
    RfTimeout_schedule(endp, onTimer, &timers, 30, &tp);
    pthread_mutex_unlock(&rfGlobalMutex);
    EXPECT_TRUE(waitFor([&] { return timers.load() == 2; }));

    // Sending: every datagram at 0 %, none at 100 %; the plain send drops its reference.
    auto sendSome = [&](int n) {
        int32_t before = RfUser_getSkbCount();
        for (int i = 0; i < n; i++) {
            RfPacket* p = RfUser_allocPacket(endp);
            nbuf_addIov(p, "abcd", 4);
            struct sockaddr_in to = peer.address();
            pthread_mutex_lock(&rfGlobalMutex);
            endp->h->sendPacketProcp(endp, &to, p);
            pthread_mutex_unlock(&rfGlobalMutex);
        }
        EXPECT_EQ(RfUser_getSkbCount(), before);
        int got = 0;
        RfTestPeer::Packet p;
        while (peer.receive(&p, 50)) {
            EXPECT_EQ(p.body, (std::vector<uint8_t>{'a', 'b', 'c', 'd'}));
            got++;
        }
        return got;
    };
    RfUser_setDropPct(endp, 100);
    EXPECT_EQ(sendSome(20), 0);
    RfUser_setDropPct(endp, 0);
    EXPECT_EQ(sendSome(20), 20);

    // The clone send keeps the packet.
    RfPacket* kept = RfUser_allocPacket(endp);
    nbuf_addIov(kept, "keep", 4);
    struct sockaddr_in to = peer.address();
    endp->h->sendPacketCloneProcp(endp, &to, kept);
    EXPECT_EQ(kept->refs, 1);
    RfTestPeer::Packet echo;
    EXPECT_TRUE(peer.receive(&echo, 1000));
    Rf_freePacket(kept);

    RfUser_killDispatchThread(&thread);
    EXPECT_FALSE(RfUser_isDispatchThreadRunning());
    RfUser_destroyUDPEndPoint(endp);
}

TEST(RfDispatchTest, IncarnationIdentity) {
    RfUserEndPoint* endp = nullptr;
    ASSERT_EQ(RfUser_createUDPEndPoint(0, &endp), 0);
    uint8_t id[16];
    EXPECT_EQ(endp->h->getUniqueProcp(endp, id, 15), -1);
    struct timeval before;
    gettimeofday(&before, nullptr);
    ASSERT_EQ(endp->h->getUniqueProcp(endp, id, 16), 0);
    uint8_t expectedMac[6] = {0, 0, 0, 0, 0, 0};
    std::ifstream macFile("/sys/class/net/eth0/address");
    std::string mac;
    if (macFile >> mac) {
        unsigned v[6];
        ASSERT_EQ(
            sscanf(mac.c_str(), "%x:%x:%x:%x:%x:%x", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5]), 6);
        for (int i = 0; i < 6; i++) {
            expectedMac[i] = static_cast<uint8_t>(v[i]);
        }
    }
    EXPECT_EQ(0, memcmp(id, expectedMac, 6));
    uint16_t pid = static_cast<uint16_t>(getpid());
    EXPECT_EQ(id[6], pid >> 8);
    EXPECT_EQ(id[7], pid & 0xFF);
    uint32_t secs;
    memcpy(&secs, id + 8, 4);
    EXPECT_GE(secs, static_cast<uint32_t>(before.tv_sec));
    EXPECT_LE(secs, static_cast<uint32_t>(before.tv_sec) + 5);
    uint32_t usecs;
    memcpy(&usecs, id + 12, 4);
    EXPECT_LT(usecs, 1000000u);
    uint8_t none[6] = {1, 2, 3, 4, 5, 6};
    RfUser_getHardwareAddress("nosuchif0", none);
    EXPECT_EQ(0, memcmp(none, "\0\0\0\0\0\0", 6));

    // The sequence is the fourth 32-bit word of the data.
    RfPacket* p = RfUser_allocPacket(endp);
    const uint8_t header[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x78, 0x56, 0x34, 0x12};
    nbuf_addIov(p, header, 16);
    EXPECT_EQ(endp->h->getSequenceProcp(p), 0x12345678u);
    Rf_freePacket(p);
    RfUser_destroyUDPEndPoint(endp);
}

}  // namespace
