// The protocol engine against a scripted peer: the peer reads and writes Rf datagrams on a
// plain UDP socket and the engine's timers run on a fake clock, so the whole schedule of
// resends and time-outs is checked without waiting for it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "RfFakeClock.h"
#include "RfPthread.h"
#include "RfTestPeer.h"

namespace {

using Packet = RfTestPeer::Packet;

std::vector<uint8_t> bytesOf(const std::string& s) {
    return std::vector<uint8_t>(s.begin(), s.end());
}
std::string textOf(const std::vector<uint8_t>& b) {
    return std::string(b.begin(), b.end());
}

class RfEngineTest : public ::testing::Test {
  protected:
    struct Outcome {
        int32_t error = 0;
        bool hadPacket = false;
        std::string body;
        int64_t atMs = 0;
    };
    struct CallTag {
        RfEngineTest* testp;
        int tag;
    };

    void SetUp() override {
        _baseline = RfUser_getSkbCount();
        ASSERT_EQ(RfUser_createUDPEndPoint(0, &_endp), 0);
        RfUser_setClock(_endp, RfFakeClock::now, &_clock);
        ASSERT_EQ(Rf_create(_endp, &_rf), 0);
    }

    void TearDown() override {
        if (_connp != nullptr) {
            Rf_destroyClientConn(_connp);
        }
        Rf_destroy(_rf);
        RfUser_destroyUDPEndPoint(_endp);
        // Every packet handed out came back: none lost, none freed twice.
        EXPECT_EQ(RfUser_getSkbCount(), _baseline);
    }

    uint16_t port() const { return RfUser_getEndPointPort(_endp); }

    // Lets the engine receive what the peer sent and run its due timers.
    void pump(int firstWaitMs = 20) {
        pthread_mutex_lock(&rfGlobalMutex);
        int waitMs = firstWaitMs;
        while (RfUser_receiveOne(_endp, waitMs)) {
            waitMs = 5;
        }
        RfUser_runTimers(_endp);
        pthread_mutex_unlock(&rfGlobalMutex);
    }

    // Takes what has arrived, without waiting for more.
    void drain() {
        pthread_mutex_lock(&rfGlobalMutex);
        while (RfUser_receiveOne(_endp, 0)) {
        }
        pthread_mutex_unlock(&rfGlobalMutex);
    }

    void advance(int64_t ms) {
        _clock.advanceMs(ms);
        pump(0);
    }

    static void onDone(void* contextp, RfPacket* responsep, int32_t error) {
        CallTag* tagp = static_cast<CallTag*>(contextp);
        Outcome& o = tagp->testp->_outcomes[tagp->tag];
        o.error = error;
        o.hadPacket = responsep != nullptr;
        o.atMs = tagp->testp->_clock.elapsedMs();
        if (responsep != nullptr) {
            o.body.assign(reinterpret_cast<char*>(responsep->datap), responsep->size);
            Rf_freePacket(responsep);
        }
    }

    void connect(uint32_t interfaceId) {
        struct sockaddr_in to = _peer.address();
        ASSERT_EQ(Rf_createClientConn(_rf, &to, interfaceId, &_connp), 0);
    }

    void call(int tag, const std::string& body, int32_t timeoutSecs = 0) {
        RfPacket* p = RfUser_allocPacket(_endp);
        nbuf_addIov(p, body.data(), static_cast<int32_t>(body.size()));
        _tags.push_back(CallTag{this, tag});
        Rf_iCall(_connp, p, onDone, &_tags.back(), _connp->interfaceId, timeoutSecs);
    }

    // Answers the client's bind; returns the bind packet.
    Packet acceptBind(uint32_t serverId) {
        Packet bind;
        EXPECT_TRUE(_peer.receiveType(&bind, RF_TYPE_BIND, 1000));
        Packet reply;
        reply.flags = RF_TYPE_BIND_RESPONSE;
        reply.connIdDest = bind.connIdSrc;
        reply.connIdSrc = serverId;
        reply.sequence = bind.sequence;
        reply.sequenceAck = bind.sequence;
        _peer.send(port(), reply);
        _peerSeq = bind.sequence;
        pump();
        return bind;
    }

    void respond(const Packet& req, uint32_t serverId, const std::string& body,
                 uint8_t flags = 17) {
        Packet r;
        r.flags = flags;
        r.connIdDest = req.connIdSrc;
        r.connIdSrc = serverId;
        r.sequence = _peerSeq++;
        r.sequenceAck = req.sequence + 1;
        r.channelId = req.channelId;
        r.call = req.call;
        r.interfaceId = req.interfaceId;
        r.body = bytesOf(body);
        _peer.send(port(), r);
    }

    void ack(uint32_t clientId, uint32_t serverId, uint32_t sequenceAck) {
        Packet a;
        a.flags = RF_TYPE_ACK;
        a.connIdDest = clientId;
        a.connIdSrc = serverId;
        a.sequenceAck = sequenceAck;
        RfTestPeer::appendWord(&a.body, 0);
        _peer.send(port(), a);
    }

    int32_t _baseline = 0;
    RfFakeClock _clock;
    RfUserEndPoint* _endp = nullptr;
    Rf* _rf = nullptr;
    RfConn* _connp = nullptr;
    RfTestPeer _peer;
    uint32_t _peerSeq = 0;
    std::deque<CallTag> _tags;
    std::map<int, Outcome> _outcomes;
};

TEST_F(RfEngineTest, BindRequestResponseMatchingAndWindowRule) {
    connect(5);
    call(1, "hello");
    Packet bind;
    ASSERT_TRUE(_peer.receive(&bind, 1000));
    EXPECT_EQ(bind.wireSize, 48u);
    EXPECT_EQ(bind.flags, 3);
    EXPECT_EQ(bind.fragment, 0);
    EXPECT_EQ(bind.window, 64);
    EXPECT_EQ(bind.connIdDest, 0u);
    EXPECT_EQ(bind.sequence, bind.sequenceAck);
    EXPECT_EQ(bind.channelId | bind.call | bind.interfaceId, 0u);
    ASSERT_EQ(bind.body.size(), 16u);
    uint16_t pid = static_cast<uint16_t>(getpid());
    EXPECT_EQ(bind.body[6], pid >> 8);
    EXPECT_EQ(bind.body[7], pid & 0xFF);

    // The bind response makes the queued request go out.
    Packet reply;
    reply.flags = RF_TYPE_BIND_RESPONSE;
    reply.connIdDest = bind.connIdSrc;
    reply.connIdSrc = 77;
    reply.sequence = reply.sequenceAck = bind.sequence;
    _peer.send(port(), reply);
    _peerSeq = bind.sequence;
    pump();
    uint32_t s = bind.sequence;
    Packet req;
    ASSERT_TRUE(_peer.receive(&req, 1000));
    EXPECT_EQ(req.wireSize, 37u);
    EXPECT_EQ(req.flags, 24);  // a window of one: acknowledgement requested
    EXPECT_EQ(req.connIdDest, 77u);
    EXPECT_EQ(req.connIdSrc, bind.connIdSrc);
    EXPECT_EQ(req.sequence, s);
    EXPECT_EQ(req.sequenceAck, s);
    EXPECT_EQ(req.interfaceId, 5u);
    EXPECT_LT(req.channelId, 4096u);
    EXPECT_EQ(textOf(req.body), "hello");

    respond(req, 77, "world");
    pump();
    ASSERT_EQ(_outcomes.count(1), 1u);
    EXPECT_EQ(_outcomes[1].error, 0);
    EXPECT_EQ(_outcomes[1].body, "world");

    // A late second response of the finished call matches nothing.
    respond(req, 77, "late");
    pump();
    EXPECT_EQ(_outcomes.size(), 1u);

    // The congestion window grows by one per acknowledgement; bit 3 marks the packets
    // that leave at most two places of the window.
    std::vector<int> flags;
    call(2, "two");
    ASSERT_TRUE(_peer.receive(&req, 1000));
    flags.push_back(req.flags);
    respond(req, 77, "r2");
    pump();
    call(3, "three");
    ASSERT_TRUE(_peer.receive(&req, 1000));
    flags.push_back(req.flags);
    respond(req, 77, "r3");
    pump();
    call(4, "four");
    call(5, "five");
    call(6, "six");
    std::vector<Packet> reqs(3);
    for (Packet& r : reqs) {
        ASSERT_TRUE(_peer.receive(&r, 1000));
        flags.push_back(r.flags);
    }
    EXPECT_EQ(flags, (std::vector<int>{24, 16, 16, 16, 24}));
    EXPECT_EQ(reqs[0].sequence + 1, reqs[1].sequence);
    EXPECT_EQ(reqs[1].sequence + 1, reqs[2].sequence);
    // Answered out of call order: matched by slot and call number.
    respond(reqs[2], 77, "r6");
    respond(reqs[0], 77, "r4");
    respond(reqs[1], 77, "r5");
    pump();
    EXPECT_EQ(_outcomes[4].body, "r4");
    EXPECT_EQ(_outcomes[5].body, "r5");
    EXPECT_EQ(_outcomes[6].body, "r6");

    // Without loss and without bit 3 no separate acknowledgement is sent...
    advance(50);
    Packet extra;
    EXPECT_FALSE(_peer.receive(&extra, 50));
    // ...with bit 3 one follows 10 ms later, kind 2 with an empty list.
    call(7, "seven");
    ASSERT_TRUE(_peer.receive(&req, 1000));
    respond(req, 77, "r7", 25);
    pump();
    EXPECT_FALSE(_peer.receive(&extra, 20));
    advance(10);
    ASSERT_TRUE(_peer.receive(&extra, 1000));
    EXPECT_EQ(extra.flags, 0x22);
    EXPECT_EQ(extra.sequence, 0u);
    EXPECT_EQ(extra.sequenceAck, _peerSeq);
    ASSERT_EQ(extra.body.size(), 8u);
    EXPECT_EQ(RfTestPeer::word(extra.body, 0), 2u);
    EXPECT_EQ(RfTestPeer::word(extra.body, 4), 0u);
}

TEST_F(RfEngineTest, LargestBodyTravelsWholeBothWays) {
    connect(5);
    std::string big(9000, '\0');
    for (size_t i = 0; i < big.size(); i++) {
        big[i] = static_cast<char>('a' + i % 23);
    }
    call(1, big);
    acceptBind(77);
    Packet req;
    ASSERT_TRUE(_peer.receiveType(&req, RF_TYPE_DATA, 1000));
    EXPECT_EQ(req.wireSize, 9032u);
    EXPECT_EQ(textOf(req.body), big);
    std::string answer(big.rbegin(), big.rend());
    respond(req, 77, answer);
    pump();
    ASSERT_EQ(_outcomes.count(1), 1u);
    EXPECT_EQ(_outcomes[1].error, 0);
    EXPECT_EQ(_outcomes[1].body.size(), 9000u);
    EXPECT_EQ(_outcomes[1].body, answer);
}

// What anyone who can send UDP to a client engine may try: binds (a client
// serves nothing, so none is answered), packets from an address that is not
// the connection's peer (a reset notice among them), and, from the peer
// itself, messages that are never finished and packets out of order. The
// engine holds at most RF_MAX_HELD_PER_CONN bytes for the connection, gives
// up the unfinished message after its back-off limit, and the call in
// progress is answered all the same.
TEST_F(RfEngineTest, HostileDatagramsAreBoundedAndForeignOnesIgnored) {
    int32_t before = RfUser_getSkbCount();
    int sent = 0;
    // Binds, each from a new identity.
    for (int i = 0; i < 20000; i++, sent++) {
        Packet bind;
        bind.flags = RF_TYPE_BIND;
        bind.connIdSrc = static_cast<uint32_t>(i);
        bind.sequence = bind.sequenceAck = 10;
        bind.body.assign(16, static_cast<uint8_t>(i));
        bind.body[1] = static_cast<uint8_t>(i >> 8);
        _peer.send(port(), bind);
        if (i % 32 == 31)
            drain();
    }
    pump();
    Packet heard;
    EXPECT_FALSE(_peer.receive(&heard, 100)) << "a client engine answered a bind";

    connect(5);
    call(1, "question");
    Packet bind = acceptBind(77);
    Packet req;
    ASSERT_TRUE(_peer.receiveType(&req, RF_TYPE_DATA, 1000));
    RfTestPeer foreign;
    // From elsewhere: reset notices, responses and data for the connection.
    for (int i = 0; i < 20000; i++, sent++) {
        Packet p;
        p.connIdDest = bind.connIdSrc;
        p.connIdSrc = 77;
        p.sequenceAck = req.sequence + 1;
        p.channelId = req.channelId;
        p.call = req.call;
        if (i % 2 == 0) {
            p.flags = RF_TYPE_ACK | RF_FLAG_EXTENSION;
            RfTestPeer::appendWord(&p.body, RF_ACK_RESET);
        } else {
            p.flags = RF_TYPE_RESPONSE | RF_FLAG_LAST;
            p.sequence = _peerSeq;
            p.body = bytesOf("forged");
        }
        foreign.send(port(), p);
        if (i % 32 == 31)
            drain();
    }
    pump();
    EXPECT_EQ(0u, _outcomes.count(1)) << "a forged response ended the call";
    EXPECT_FALSE(_peer.receiveType(&heard, RF_TYPE_BIND, 50)) << "a forged reset made a rebind";

    // From the peer: 40000 pieces of messages never finished, in order, and
    // 20000 packets ahead of the sequence, 1 KiB each.
    RfStats stats;
    uint32_t seq = _peerSeq;
    int32_t most = 0;
    for (int i = 0; i < 60000; i++, sent++) {
        Packet p;
        p.flags = RF_TYPE_RESPONSE;
        p.connIdDest = bind.connIdSrc;
        p.connIdSrc = 77;
        p.sequence = i < 40000 ? seq++ : _peerSeq + 2 + static_cast<uint32_t>(i % 100);
        p.sequenceAck = req.sequence + 1;
        p.body.assign(1024, 0x5A);
        _peer.send(port(), p);
        if (i % 16 == 15) {
            drain();
            most = std::max(most, RfUser_getSkbCount() - before);
        }
    }
    pump();
    most = std::max(most, RfUser_getSkbCount() - before);
    Rf_getStats(_rf, &stats);
    EXPECT_GT(stats.rxHeldDiscards, 0u);
    EXPECT_GT(stats.rxForeignDiscards, 19000u);
    // 1 MiB of 1056-byte packets, and the few in flight.
    EXPECT_LE(most, static_cast<int32_t>(RF_MAX_HELD_PER_CONN / 1056 + 32));
    EXPECT_LE(_connp->rxHeldBytes, RF_MAX_HELD_PER_CONN);

    // Garbage of every length.
    for (int i = 0; i < 10000; i++, sent++)
        _peer.sendRaw(port(), std::vector<uint8_t>(static_cast<size_t>(i % 64), 0xFF));
    pump();
    EXPECT_EQ(110000, sent);

    // Unfinished for longer than the back-off limit: given up.
    while (_peer.receive(&heard, 0)) {
    }
    advance(10000);
    advance(10000);
    EXPECT_EQ(nullptr, _connp->rxReadHeadp);
    // The peer's real answer, the one after those it never finished, still
    // ends the call (the engine wants the number after the last it took).
    Packet r;
    r.flags = RF_TYPE_RESPONSE | RF_FLAG_LAST;
    r.connIdDest = bind.connIdSrc;
    r.connIdSrc = 77;
    r.sequence = _connp->rxNextSequence;
    r.sequenceAck = req.sequence + 1;
    r.channelId = req.channelId;
    r.call = req.call;
    r.body = bytesOf("answer");
    _peer.send(port(), r);
    pump();
    ASSERT_EQ(1u, _outcomes.count(1));
    EXPECT_EQ(0, _outcomes[1].error);
    EXPECT_EQ("answer", _outcomes[1].body);
}

// Eighteen connections whose peer never finishes its answers: each holds at
// most its own cap, and all of them together at most the engine's total; the
// rest is dropped (retransmission would bring it back).
TEST_F(RfEngineTest, HeldBytesStayUnderTheTotalCapAcrossConnections) {
    struct Open {
        RfConn* connp;
        uint32_t id;
        uint32_t seq;
        uint32_t ack;
    };
    std::vector<Open> open;
    for (uint32_t i = 0; i < 18; i++) {
        connect(100 + i);
        call(static_cast<int>(i), "question");
        Packet bind = acceptBind(500 + i);
        Packet req;
        ASSERT_TRUE(_peer.receiveType(&req, RF_TYPE_DATA, 1000)) << i;
        open.push_back(Open{_connp, bind.connIdSrc, bind.sequence, req.sequence + 1});
    }
    RfStats before;
    Rf_getStats(_rf, &before);
    // 1.25 MiB of unfinished answer on each, in order: 22.5 MiB in all.
    for (int piece = 0; piece < 1280; piece++) {
        for (uint32_t i = 0; i < open.size(); i++) {
            Packet p;
            p.flags = RF_TYPE_RESPONSE;
            p.connIdDest = open[i].id;
            p.connIdSrc = 500 + i;
            p.sequence = open[i].seq++;
            p.sequenceAck = open[i].ack;
            p.body.assign(1024, static_cast<uint8_t>(i));
            _peer.send(port(), p);
        }
        if (piece % 2 == 1)
            drain();
    }
    pump();
    RfStats after;
    Rf_getStats(_rf, &after);
    uint32_t sum = 0;
    for (const Open& o : open) {
        EXPECT_LE(o.connp->rxHeldBytes, RF_MAX_HELD_PER_CONN);
        sum += o.connp->rxHeldBytes;
    }
    EXPECT_EQ(sum, _rf->rxHeldBytes) << "the engine's total lost count of its connections";
    EXPECT_LE(_rf->rxHeldBytes, RF_MAX_HELD_TOTAL);
    // The total was reached, not merely each connection's cap.
    EXPECT_GT(_rf->rxHeldBytes, RF_MAX_HELD_TOTAL - 2 * 1056u);
    // Filled in turn, every connection stopped short of its own cap: the
    // total is what dropped the rest.
    for (const Open& o : open)
        EXPECT_LT(o.connp->rxHeldBytes, RF_MAX_HELD_PER_CONN - 64 * 1024);
    EXPECT_GT(after.rxHeldDiscards, before.rxHeldDiscards);
}

TEST_F(RfEngineTest, ResetNoticeEndsAcknowledgedCallsAndResendsTheRestAfterRebind) {
    connect(1);
    call(1, "acked");
    Packet bind = acceptBind(77);
    Packet r1, r2, r3;
    ASSERT_TRUE(_peer.receive(&r1, 1000));
    ack(bind.connIdSrc, 77, r1.sequence + 1);
    pump();
    call(2, "second");
    call(3, "third");
    ASSERT_TRUE(_peer.receive(&r2, 1000));
    ASSERT_TRUE(_peer.receive(&r3, 1000));
    ASSERT_EQ(r3.sequence, r2.sequence + 1);

    // The server lost the connection.
    Packet reset;
    reset.flags = 0x22;
    reset.window = 0;
    reset.connIdDest = bind.connIdSrc;
    reset.connIdSrc = 77;
    RfTestPeer::appendWord(&reset.body, 1);
    RfTestPeer::appendWord(&reset.body, 0);
    _peer.send(port(), reset);
    pump();
    ASSERT_EQ(_outcomes.count(1), 1u);
    EXPECT_EQ(_outcomes[1].error, 1);
    EXPECT_FALSE(_outcomes[1].hadPacket);
    EXPECT_EQ(_outcomes.size(), 1u);

    // A new bind with the same identity and a new starting sequence...
    Packet rebind;
    ASSERT_TRUE(_peer.receive(&rebind, 1000));
    EXPECT_EQ(rebind.flags, 3);
    EXPECT_EQ(rebind.body, bind.body);
    EXPECT_EQ(rebind.connIdSrc, bind.connIdSrc);
    EXPECT_NE(rebind.sequence, bind.sequence);
    Packet reply;
    reply.flags = RF_TYPE_BIND_RESPONSE;
    reply.connIdDest = rebind.connIdSrc;
    reply.connIdSrc = 78;
    reply.sequence = reply.sequenceAck = rebind.sequence;
    _peer.send(port(), reply);
    _peerSeq = rebind.sequence;
    pump();
    // ...then the unacknowledged requests again, renumbered, to the new server id.
    Packet n2, n3;
    ASSERT_TRUE(_peer.receive(&n2, 1000));
    EXPECT_EQ(n2.sequence, rebind.sequence);
    EXPECT_EQ(n2.connIdDest, 78u);
    EXPECT_EQ(n2.channelId, r2.channelId);
    EXPECT_EQ(textOf(n2.body), "second");
    respond(n2, 78, "ok2");
    pump();
    ASSERT_TRUE(_peer.receive(&n3, 1000));
    EXPECT_EQ(n3.sequence, rebind.sequence + 1);
    EXPECT_EQ(n3.channelId, r3.channelId);
    EXPECT_EQ(textOf(n3.body), "third");
    respond(n3, 78, "ok3");
    pump();
    EXPECT_EQ(_outcomes[2].error, 0);
    EXPECT_EQ(_outcomes[2].body, "ok2");
    EXPECT_EQ(_outcomes[3].error, 0);
    EXPECT_EQ(_outcomes[3].body, "ok3");
}

TEST_F(RfEngineTest, SilentPeerResendScheduleAndResponseTimeout) {
    connect(1);
    call(1, "ping");
    acceptBind(77);
    Packet req;
    ASSERT_TRUE(_peer.receive(&req, 1000));
    std::vector<int64_t> resendSecs;
    for (int ms = 0; ms < 40000 && _outcomes.empty(); ms += 500) {
        advance(500);
        Packet again;
        while (_peer.receive(&again, 0)) {
            EXPECT_EQ(again.sequence, req.sequence);
            EXPECT_EQ(again.body, req.body);
            resendSecs.push_back(_clock.elapsedMs());
        }
    }
    EXPECT_EQ(resendSecs,
              (std::vector<int64_t>{2000, 4000, 6000, 8000, 13000, 18000, 23000, 28000}));
    ASSERT_EQ(_outcomes.count(1), 1u);
    EXPECT_EQ(_outcomes[1].error, -2);
    EXPECT_EQ(_outcomes[1].atMs, 33000);
}

TEST_F(RfEngineTest, BindRetriesExhausted) {
    connect(1);
    call(1, "ping");
    std::vector<int64_t> bindSecs;
    for (int ms = 0; ms <= 40000 && _outcomes.empty(); ms += 500) {
        Packet bind;
        while (_peer.receive(&bind, ms == 0 ? 1000 : 0)) {
            EXPECT_EQ(bind.flags, 3);
            bindSecs.push_back(_clock.elapsedMs());
        }
        advance(500);
    }
    EXPECT_EQ(bindSecs,
              (std::vector<int64_t>{0, 2000, 4000, 6000, 8000, 13000, 18000, 23000, 28000}));
    ASSERT_EQ(_outcomes.count(1), 1u);
    EXPECT_EQ(_outcomes[1].error, -3);
    EXPECT_EQ(_outcomes[1].atMs, 33000);
}

TEST_F(RfEngineTest, UnansweredCallTimesOutBetween30And40Seconds) {
    connect(1);
    advance(5000);  // the call starts out of step with the 10 s monitor
    call(1, "ping");
    Packet bind = acceptBind(77);
    Packet req;
    ASSERT_TRUE(_peer.receive(&req, 1000));
    ack(bind.connIdSrc, 77, req.sequence + 1);
    pump();
    for (int i = 0; i < 50 && _outcomes.empty(); i++) {
        advance(1000);
    }
    ASSERT_EQ(_outcomes.count(1), 1u);
    EXPECT_EQ(_outcomes[1].error, -1);
    int64_t afterStart = _outcomes[1].atMs - 5000;
    EXPECT_GE(afterStart, 30000);
    EXPECT_LE(afterStart, 40000);
    // The acknowledged request was never sent again.
    Packet again;
    EXPECT_FALSE(_peer.receiveType(&again, RF_TYPE_DATA, 0));
    // The slot is free again and a late response of the aborted call is dropped.
    respond(req, 77, "late");
    pump();
    EXPECT_EQ(_outcomes.size(), 1u);
}

TEST_F(RfEngineTest, FullCallTableAnswersAtOnceAndDestroyEndsEveryCall) {
    connect(1);
    for (int i = 0; i < RF_MAX_CLIENT_CALLS; i++) {
        call(i, "x");
    }
    EXPECT_TRUE(_outcomes.empty());
    call(RF_MAX_CLIENT_CALLS, "one too many");
    ASSERT_EQ(_outcomes.size(), 1u);
    EXPECT_EQ(_outcomes[RF_MAX_CLIENT_CALLS].error, -4);
    Rf_destroyClientConn(_connp);
    _connp = nullptr;
    ASSERT_EQ(_outcomes.size(), static_cast<size_t>(RF_MAX_CLIENT_CALLS + 1));
    for (int i = 0; i < RF_MAX_CLIENT_CALLS; i++) {
        EXPECT_EQ(_outcomes[i].error, -1) << i;
    }
}

// The engine as a server, the peer as its client.
class RfServerTest : public RfEngineTest {
  protected:
    static void serve(void* contextp, RfServerCall* callp, RfPacket* requestp) {
        RfServerTest* testp = static_cast<RfServerTest*>(contextp);
        std::string body(reinterpret_cast<char*>(requestp->datap), requestp->size);
        testp->_served.push_back(body);
        Rf_freePacket(requestp);
        RfPacket* responsep = RfUser_allocPacket(testp->_endp);
        std::string answer = "re:" + body;
        nbuf_addIov(responsep, answer.data(), static_cast<int32_t>(answer.size()));
        Rf_sendResponse(callp, responsep);
    }

    Packet bindAsClient(uint32_t clientId, uint32_t sequence, uint8_t identity) {
        Packet bind;
        bind.flags = RF_TYPE_BIND;
        bind.connIdSrc = clientId;
        bind.sequence = bind.sequenceAck = sequence;
        bind.body.assign(16, identity);
        bind.body[0] = static_cast<uint8_t>(clientId);
        bind.body[1] = static_cast<uint8_t>(clientId >> 8);
        _peer.send(port(), bind);
        pump();
        Packet reply;
        EXPECT_TRUE(_peer.receive(&reply, 1000));
        return reply;
    }

    Packet request(uint32_t serverId, uint32_t sequence, uint32_t channel, uint32_t callNo,
                   uint32_t iface, const std::string& body) {
        Packet r;
        r.flags = 16;
        r.connIdDest = serverId;
        r.connIdSrc = 500;
        r.sequence = sequence;
        r.sequenceAck = 1000;
        r.channelId = channel;
        r.call = callNo;
        r.interfaceId = iface;
        r.body = bytesOf(body);
        return r;
    }

    std::vector<std::string> _served;
};

TEST_F(RfServerTest, EarlyRequestHeldMissingListedErrorResponseAndResetNotice) {
    ASSERT_EQ(Rf_createServer(_rf, 9, serve, this, nullptr), 0);
    Packet reply = bindAsClient(500, 1000, 0xAB);
    EXPECT_EQ(reply.wireSize, 32u);
    EXPECT_EQ(reply.flags, 4);
    EXPECT_EQ(reply.connIdDest, 500u);
    EXPECT_EQ(reply.sequence, 1000u);
    EXPECT_EQ(reply.sequenceAck, 1000u);
    uint32_t serverId = reply.connIdSrc;

    // One number early: held, and the missing number is listed at once.
    _peer.send(port(), request(serverId, 1001, 3, 7, 9, "second"));
    pump();
    EXPECT_TRUE(_served.empty());
    Packet a;
    ASSERT_TRUE(_peer.receive(&a, 1000));
    EXPECT_EQ(a.flags, 0x22);
    EXPECT_EQ(a.connIdDest, 500u);
    EXPECT_EQ(a.connIdSrc, serverId);
    EXPECT_EQ(a.sequenceAck, 1000u);
    ASSERT_EQ(a.body.size(), 12u);
    EXPECT_EQ(RfTestPeer::word(a.body, 0), 2u);
    EXPECT_EQ(RfTestPeer::word(a.body, 4), 1u);
    EXPECT_EQ(RfTestPeer::word(a.body, 8), 1000u);

    // The missing one arrives: both are served in order and answered.
    _peer.send(port(), request(serverId, 1000, 2, 5, 9, "first"));
    pump();
    EXPECT_EQ(_served, (std::vector<std::string>{"first", "second"}));
    Packet p1, p2;
    ASSERT_TRUE(_peer.receiveType(&p1, RF_TYPE_RESPONSE, 1000));
    // A window of one: the second answer waits for the first to be acknowledged.
    EXPECT_FALSE(_peer.receiveType(&p2, RF_TYPE_RESPONSE, 20));
    ack(serverId, 500, 1001);
    pump();
    ASSERT_TRUE(_peer.receiveType(&p2, RF_TYPE_RESPONSE, 1000));
    EXPECT_EQ(p1.flags & ~8, 17);
    EXPECT_EQ(p1.sequence, 1000u);
    EXPECT_EQ(p1.channelId, 2u);
    EXPECT_EQ(p1.call, 5u);
    EXPECT_EQ(p1.interfaceId, 9u);
    EXPECT_EQ(textOf(p1.body), "re:first");
    EXPECT_EQ(p2.sequence, 1001u);
    EXPECT_EQ(p2.sequenceAck, 1002u);
    EXPECT_EQ(p2.channelId, 3u);
    EXPECT_EQ(p2.call, 7u);
    EXPECT_EQ(textOf(p2.body), "re:second");

    // A repeated request is not served again; it is acknowledged at once.
    _peer.send(port(), request(serverId, 1001, 3, 7, 9, "second"));
    pump();
    EXPECT_EQ(_served.size(), 2u);
    ASSERT_TRUE(_peer.receiveType(&a, RF_TYPE_ACK, 1000));
    EXPECT_EQ(a.sequenceAck, 1002u);

    // No server for the interface: error response 1000.
    _peer.send(port(), request(serverId, 1002, 4, 1, 10, "nobody"));
    pump();
    EXPECT_EQ(_served.size(), 2u);
    Packet e;
    ASSERT_TRUE(_peer.receiveType(&e, RF_TYPE_RESPONSE, 1000));
    EXPECT_EQ(e.flags, 0x31);  // never with the acknowledgement request bit
    EXPECT_EQ(e.channelId, 4u);
    EXPECT_EQ(e.call, 1u);
    EXPECT_EQ(e.interfaceId, 0u);
    ASSERT_EQ(e.body.size(), 4u);
    EXPECT_EQ(RfTestPeer::word(e.body, 0), 1000u);

    // Data for a connection id of an older generation: reset notice.
    _peer.send(port(), request(serverId + 4096, 1003, 4, 2, 9, "stale"));
    pump();
    Packet n;
    ASSERT_TRUE(_peer.receiveType(&n, RF_TYPE_ACK, 1000));
    EXPECT_EQ(n.wireSize, 40u);
    EXPECT_EQ(n.flags, 0x22);
    EXPECT_EQ(n.window, 0);
    EXPECT_EQ(n.connIdDest, 500u);
    EXPECT_EQ(n.connIdSrc, serverId + 4096);
    EXPECT_EQ(n.sequence | n.sequenceAck | n.channelId | n.call | n.interfaceId, 0u);
    EXPECT_EQ(RfTestPeer::word(n.body, 0), 1u);
    EXPECT_EQ(_served.size(), 2u);

    // The same client binding again gets the same slot in a new generation.
    Packet again = bindAsClient(500, 2000, 0xAB);
    EXPECT_EQ(again.connIdSrc, serverId + 4096);
    EXPECT_EQ(again.sequence, 2000u);
}

// Selective acknowledgements report each missing number once; only a resend time-out (or
// in-order delivery) lets the receiver list it again.
TEST_F(RfServerTest, MissingNumberReportedOnceUntilResendTimeout) {
    ASSERT_EQ(Rf_createServer(_rf, 9, serve, this, nullptr), 0);
    uint32_t serverId = bindAsClient(500, 1000, 0xAB).connIdSrc;
    // Request 1000 in order: served, its response stays unacknowledged (timer armed).
    _peer.send(port(), request(serverId, 1000, 1, 1, 9, "a"));
    pump();
    Packet r;
    ASSERT_TRUE(_peer.receiveType(&r, RF_TYPE_RESPONSE, 1000));
    EXPECT_EQ(r.sequence, 1000u);

    auto listAck = [&](std::vector<uint32_t> expected) {
        Packet a;
        ASSERT_TRUE(_peer.receiveType(&a, RF_TYPE_ACK, 1000));
        EXPECT_EQ(a.flags, 0x22);
        EXPECT_EQ(a.sequenceAck, 1001u);
        ASSERT_EQ(a.body.size(), 8 + 4 * expected.size());
        EXPECT_EQ(RfTestPeer::word(a.body, 0), 2u);
        EXPECT_EQ(RfTestPeer::word(a.body, 4), expected.size());
        for (size_t i = 0; i < expected.size(); i++) {
            EXPECT_EQ(RfTestPeer::word(a.body, 8 + 4 * i), expected[i]);
        }
    };
    // 1001 is lost: the first packet past the gap lists it...
    _peer.send(port(), request(serverId, 1002, 2, 1, 9, "c"));
    pump();
    listAck({1001});
    // ...the second and third do not list it again.
    _peer.send(port(), request(serverId, 1003, 3, 1, 9, "d"));
    pump();
    listAck({});
    _peer.send(port(), request(serverId, 1004, 4, 1, 9, "e"));
    pump();
    listAck({});
    // The response's resend time-out (2 s) resends it and moves rxNextSack back.
    advance(2000);
    ASSERT_TRUE(_peer.receiveType(&r, RF_TYPE_RESPONSE, 1000));
    EXPECT_EQ(r.sequence, 1000u);
    _peer.send(port(), request(serverId, 1005, 5, 1, 9, "f"));
    pump();
    listAck({1001});
    // The missing request fills the gap: all are served in order.
    _peer.send(port(), request(serverId, 1001, 6, 1, 9, "b"));
    pump();
    EXPECT_EQ(_served, (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
    RfStats stats;
    Rf_getStats(_rf, &stats);
    EXPECT_EQ(stats.txResends, 1u);
}

// An acknowledgement that empties the send queue re-arms the resend timer; its expiry
// on the idle connection still counts and notes congestion, so the window falls to 1.
TEST_F(RfServerTest, IdleResendTimeoutAfterEmptyingAckShrinksTheWindow) {
    ASSERT_EQ(Rf_createServer(_rf, 9, serve, this, nullptr), 0);
    uint32_t serverId = bindAsClient(500, 1000, 0xAB).connIdSrc;
    std::vector<int> flags;
    uint32_t seq = 1000;
    auto exchange = [&]() {
        Packet req = request(serverId, seq, seq & 7, 1, 9, "x");
        req.sequenceAck = seq;  // acknowledges every earlier response
        _peer.send(port(), req);
        pump();
        Packet r;
        ASSERT_TRUE(_peer.receiveType(&r, RF_TYPE_RESPONSE, 1000));
        EXPECT_EQ(r.sequence, seq);
        flags.push_back(r.flags);
        seq++;
        ack(serverId, 500, seq);
        pump();
    };
    exchange();
    exchange();
    exchange();
    // cwnd 1, 2, 3 when these went out: bit 3 while at most two places remained.
    EXPECT_EQ(flags, (std::vector<int>{0x19, 0x19, 0x11}));
    EXPECT_EQ(_rf->connHashp[serverId & 0xFFF]->cwnd, 4);
    EXPECT_NE(_rf->connHashp[serverId & 0xFFF]->resendTimeoutp, nullptr);
    advance(2000);
    EXPECT_EQ(_rf->connHashp[serverId & 0xFFF]->cwnd, 1);
    EXPECT_EQ(_rf->connHashp[serverId & 0xFFF]->timeOuts, 1);
    RfStats stats;
    Rf_getStats(_rf, &stats);
    EXPECT_EQ(stats.txResends, 1u);
    Packet nothing;
    EXPECT_FALSE(_peer.receive(&nothing, 20));  // nothing queued, nothing resent
    exchange();
    EXPECT_EQ(flags.back(), 0x19);
    // Not re-armed by the empty expiry: a second interval counts nothing more.
    advance(10000);
    Rf_getStats(_rf, &stats);
    EXPECT_EQ(stats.txResends, 2u);  // the one re-armed by the last exchange's ack
}

TEST_F(RfServerTest, FullConnectionTableCollectsLeastRecentlyUsedIdleServerConnection) {
    ASSERT_EQ(Rf_createServer(_rf, 9, serve, this, nullptr), 0);
    // Fill the table with server connections, one bind each.
    std::vector<uint32_t> ids;
    for (int i = 0; i < RF_MAX_CONNS; i++) {
        Packet bind;
        bind.flags = RF_TYPE_BIND;
        bind.connIdSrc = static_cast<uint32_t>(i);
        bind.sequence = bind.sequenceAck = 10;
        bind.body.assign(16, 0);
        bind.body[0] = static_cast<uint8_t>(i);
        bind.body[1] = static_cast<uint8_t>(i >> 8);
        _peer.send(port(), bind);
        if (i % 64 == 63) {
            pump(5);
            Packet reply;
            while (_peer.receive(&reply, 0)) {
                ids.push_back(reply.connIdSrc);
            }
        }
    }
    ASSERT_EQ(ids.size(), static_cast<size_t>(RF_MAX_CONNS));
    // Use the first connection (its answer acknowledged, so it is idle again): the second
    // becomes the least recently used.
    Packet touch = request(ids[0], 10, 0, 0, 9, "touch");
    touch.connIdSrc = 0;
    _peer.send(port(), touch);
    pump();
    Packet answer;
    ASSERT_TRUE(_peer.receiveType(&answer, RF_TYPE_RESPONSE, 1000));
    ack(ids[0], 0, 11);
    pump();
    Packet reply = bindAsClient(9999, 10, 0x77);
    EXPECT_EQ(reply.flags, 4);
    EXPECT_EQ(reply.connIdSrc, ids[1] + 4096);

    // With only client connections there is nothing to collect.
    RfEngineTest::TearDown();
    SetUp();
    struct sockaddr_in to = _peer.address();
    std::vector<RfConn*> conns(RF_MAX_CONNS);
    for (RfConn*& c : conns) {
        ASSERT_EQ(Rf_createClientConn(_rf, &to, 1, &c), 0);
    }
    RfConn* extra = nullptr;
    EXPECT_EQ(Rf_createClientConn(_rf, &to, 1, &extra), -1);
    Rf_destroyClientConn(conns[7]);
    ASSERT_EQ(Rf_createClientConn(_rf, &to, 1, &extra), 0);
    EXPECT_EQ(extra->connId, 7u + 4096u);
    for (RfConn* c : conns) {
        if (c != conns[7]) {
            Rf_destroyClientConn(c);
        }
    }
    Rf_destroyClientConn(extra);
}

}  // namespace
