// One node's exchange with its daemon, driven without a thread: the calls it
// writes and the replies it takes, byte for byte; replies in pieces and in
// fragments; the failures that end it; a port that refuses.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "DaemonExchange.h"
#include "RecordTestUtil.h"
#include "WholeRecord.h"

namespace {

std::string words(const std::vector<uint32_t>& ws) {
    std::string out;
    for (uint32_t w : ws) {
        uint32_t be = htonl(w);
        out.append(reinterpret_cast<const char*>(&be), 4);
    }
    return out;
}

uint32_t wordAt(const std::string& bytes, size_t i) {
    uint32_t be;
    memcpy(&be, bytes.data() + 4 * i, 4);
    return ntohl(be);
}

// An N-blade record's XDR bytes, created at `created`.
std::string nbladeXdr(int32_t created) {
    Filler f(9);
    NbladeStats nb;
    fillNblade(nb, f);
    nb.data.timestampCreated = created;
    Bytes bytes = xdrBytes([&](Serializer& s) { serializeWhole(nb, s); });
    std::string out(bytes.begin(), bytes.end());
    return out;
}

// The daemon's end of the connection.
struct Peer {
    int fd;
    // Exactly `n` bytes, waiting at most a second for them.
    std::string take(size_t n) {
        std::string got;
        while (got.size() < n) {
            pollfd p = {fd, POLLIN, 0};
            if (poll(&p, 1, 1000) <= 0)
                break;
            char buf[4096];
            ssize_t r = read(fd, buf, std::min(sizeof buf, n - got.size()));
            if (r <= 0)
                break;
            got.append(buf, static_cast<size_t>(r));
        }
        return got;
    }
    void give(const std::string& bytes) {
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), write(fd, bytes.data(), bytes.size()));
    }
};

class DaemonExchangeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        int fds[2];
        ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds));
        _mine = fds[0];
        peer.fd = fds[1];
    }
    void TearDown() override { close(peer.fd); }
    int _mine = -1;
    Peer peer;
};

// The accepted, successful reply header to `xid`, with its results.
std::string accepted(uint32_t xid, const std::string& results) {
    return words({xid, 1, 0, 0, 0, 0}) + results;
}

std::string lastFragment(const std::string& body) {
    return words({0x80000000u | static_cast<uint32_t>(body.size())}) + body;
}

// The call header of a query call, after its mark and xid.
const std::vector<uint32_t> kCallTail = {0, 2, 0x20000900, 1};

TEST_F(DaemonExchangeTest, CallsAndRepliesByteForByte) {
    DaemonExchange ex(_mine, RecordType::Nblade);
    EXPECT_EQ(POLLIN, ex.events()) << "the first call was not written at once";

    // TIMESTAMPS: procedure 21, no credentials or verifier, no argument.
    std::string call = peer.take(44);
    ASSERT_EQ(44u, call.size());
    uint32_t xid = wordAt(call, 1);
    EXPECT_EQ(words({0x80000028u, xid, 0, 2, 0x20000900, 1, 21, 0, 0, 0, 0}), call);

    // Three snapshots, the reply cut into two fragments and given a byte at
    // a time.
    std::string body = accepted(xid, words({3, 1000, 1010, 1020}));
    std::string reply = words({12}) + body.substr(0, 12) + lastFragment(body.substr(12));
    for (char c : reply) {
        EXPECT_FALSE(ex.finished());
        peer.give(std::string(1, c));
        ex.advance();
    }

    // The two newest are asked at once: procedure 3, each with its stamp.
    std::string two = peer.take(96);
    ASSERT_EQ(96u, two.size());
    uint32_t x1020 = wordAt(two, 1), x1010 = wordAt(two, 13);
    EXPECT_EQ(words({0x8000002cu, x1020, 0, 2, 0x20000900, 1, 3, 0, 0, 0, 0, 1020,
                     0x8000002cu, x1010, 0, 2, 0x20000900, 1, 3, 0, 0, 0, 0, 1010}),
              two);
    EXPECT_NE(x1020, x1010);
    EXPECT_NE(xid, x1020);

    // 1020 has the record; 1010 has none, so 1000 is asked next. A reply to
    // no call of ours in between is passed over.
    peer.give(lastFragment(accepted(x1020, words({1}) + nbladeXdr(1020))) +
              lastFragment(accepted(0xdeadbeef, words({0}))) +
              lastFragment(accepted(x1010, words({0}))));
    ex.advance();
    std::string third = peer.take(48);
    ASSERT_EQ(48u, third.size());
    uint32_t x1000 = wordAt(third, 1);
    EXPECT_EQ(words({0x8000002cu, x1000, 0, 2, 0x20000900, 1, 3, 0, 0, 0, 0, 1000}), third);
    EXPECT_FALSE(ex.finished());
    peer.give(lastFragment(accepted(x1000, words({1}) + nbladeXdr(1000))));
    ex.advance();

    ASSERT_TRUE(ex.finished());
    ASSERT_FALSE(ex.failed()) << ex.error();
    std::vector<HistoryEntry> got = ex.take();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(1000u, got[0].stamp);
    EXPECT_EQ(1000, got[0].record->created());
    EXPECT_EQ(1020u, got[1].stamp);
    EXPECT_EQ(1020, got[1].record->created());
}

TEST_F(DaemonExchangeTest, ShortHistories) {
    // No snapshot: done after the timestamps, with nothing.
    {
        int fds[2];
        ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
        Peer p{fds[1]};
        DaemonExchange ex(fds[0], RecordType::Nblade);
        uint32_t xid = wordAt(p.take(44), 1);
        p.give(lastFragment(accepted(xid, words({0}))));
        ex.advance();
        EXPECT_TRUE(ex.finished() && !ex.failed()) << ex.error();
        EXPECT_TRUE(ex.take().empty());
        close(fds[1]);
    }
    // One snapshot: one record call of the type's own procedure, and one
    // entry.
    DaemonExchange ex(_mine, RecordType::Dblade);
    uint32_t xid = wordAt(peer.take(44), 1);
    peer.give(lastFragment(accepted(xid, words({1, 500}))));
    ex.advance();
    std::string call = peer.take(48);
    ASSERT_EQ(48u, call.size());
    EXPECT_EQ(7u, wordAt(call, 6)) << "DBLADE_SNAPSHOT is procedure 7";
    EXPECT_EQ(500u, wordAt(call, 11));
    Filler f(3);
    DbladeStats db;
    fillDblade(db, f);
    Bytes bytes = xdrBytes([&](Serializer& s) { serializeWhole(db, s); });
    std::string record(bytes.begin(), bytes.end());
    peer.give(lastFragment(accepted(wordAt(call, 1), words({1}) + record)));
    ex.advance();
    ASSERT_TRUE(ex.finished() && !ex.failed()) << ex.error();
    std::vector<HistoryEntry> got = ex.take();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(500u, got[0].stamp);
    EXPECT_EQ(RecordType::Dblade, got[0].record->type());
}

TEST_F(DaemonExchangeTest, FailuresEndTheExchange) {
    struct Case {
        const char* what;
        std::vector<uint32_t> reply;  // after the xid; empty: close at once
        const char* error;
    };
    const Case cases[] = {
        {"procedure unavailable", {1, 0, 0, 0, 3}, "RPC: Procedure unavailable"},
        {"program unavailable", {1, 0, 0, 0, 1}, "RPC: Program unavailable"},
        {"denied: auth", {1, 1, 1, 1}, "RPC: Authentication error"},
        {"garbage results", {1, 0, 0, 0, 0, 5, 1}, "RPC: Can't decode result"},
        {"not a reply", {0, 0}, "RPC: Can't decode result"},
        {"closed", {}, "closed the connection"},
    };
    for (const Case& c : cases) {
        int fds[2];
        ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
        Peer p{fds[1]};
        DaemonExchange ex(fds[0], RecordType::Nblade);
        uint32_t xid = wordAt(p.take(44), 1);
        if (c.reply.empty()) {
            // Half a reply, then the end of the connection.
            p.give(words({0x80000010u, xid}));
            shutdown(fds[1], SHUT_WR);
        } else {
            std::vector<uint32_t> all = {xid};
            all.insert(all.end(), c.reply.begin(), c.reply.end());
            p.give(lastFragment(words(all)));
        }
        ex.advance();
        EXPECT_TRUE(ex.failed()) << c.what;
        EXPECT_NE(std::string::npos, ex.error().find(c.error)) << c.what << ": " << ex.error();
        EXPECT_FALSE(ex.refused()) << c.what;
        EXPECT_TRUE(ex.take().empty()) << c.what;
        close(fds[1]);
    }
}

// A length beyond any reply fails at its mark: nothing waits for 2 GiB.
TEST_F(DaemonExchangeTest, ImpossibleLengthFailsAtOnce) {
    DaemonExchange ex(_mine, RecordType::Lp);
    peer.take(44);
    peer.give(words({0x7fffffffu, 1, 2, 3}));
    ex.advance();
    EXPECT_TRUE(ex.failed());
    EXPECT_NE(std::string::npos, ex.error().find("more than")) << ex.error();
}

// A TCP port where nobody listens: refused, so the caller may ask the
// portmapper; a failure after bytes went out would not be.
TEST(DaemonExchangeRefusal, ClosedPortIsRefused) {
    int bound = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(bound, reinterpret_cast<sockaddr*>(&a), sizeof a));
    socklen_t len = sizeof a;
    ASSERT_EQ(0, getsockname(bound, reinterpret_cast<sockaddr*>(&a), &len));
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    int rc = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ASSERT_TRUE(rc == 0 || errno == EINPROGRESS) << strerror(errno);
    DaemonExchange ex(fd, RecordType::Nblade);
    for (int i = 0; i < 100 && !ex.finished(); i++) {
        pollfd p = {ex.fd(), ex.events(), 0};
        poll(&p, 1, 20);
        ex.advance();
    }
    EXPECT_TRUE(ex.failed());
    EXPECT_TRUE(ex.refused()) << ex.error();
    close(bound);
}

}  // namespace

namespace {

// A connected loopback TCP pair: the client's end non-blocking.
void tcpPair(int* client, int* server) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(listener, 1);
    socklen_t len = sizeof a;
    getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len);
    *client = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(*client, reinterpret_cast<sockaddr*>(&a), sizeof a);
    *server = accept(listener, nullptr, nullptr);
    close(listener);
}

// What the daemon's end reads once the client is gone: 0 for an orderly
// close, -1 with errno for a reset.
int lastRead(int fd) {
    pollfd p = {fd, POLLIN, 0};
    poll(&p, 1, 1000);
    char c;
    return static_cast<int>(read(fd, &c, 1));
}

// A finished exchange resets its connection (no closing handshake, no
// TIME_WAIT); one that failed closes it in order.
TEST(DaemonExchangeClose, ResetOnlyAfterTheLastReply) {
    int client, server;
    tcpPair(&client, &server);
    ASSERT_GE(server, 0);
    {
        DaemonExchange ex(client, RecordType::Nblade);
        Peer p{server};
        uint32_t xid = wordAt(p.take(44), 1);
        p.give(lastFragment(accepted(xid, words({0}))));
        for (int i = 0; i < 100 && !ex.finished(); i++) {
            pollfd w = {ex.fd(), ex.events(), 0};
            poll(&w, 1, 10);
            ex.advance();
        }
        ASSERT_TRUE(ex.finished() && !ex.failed()) << ex.error();
    }
    errno = 0;
    EXPECT_EQ(-1, lastRead(server));
    EXPECT_EQ(ECONNRESET, errno);
    close(server);

    tcpPair(&client, &server);
    {
        DaemonExchange ex(client, RecordType::Nblade);
        Peer p{server};
        uint32_t xid = wordAt(p.take(44), 1);
        p.give(lastFragment(words({xid, 1, 0, 0, 0, 3})));
        for (int i = 0; i < 100 && !ex.finished(); i++) {
            pollfd w = {ex.fd(), ex.events(), 0};
            poll(&w, 1, 10);
            ex.advance();
        }
        ASSERT_TRUE(ex.failed());
    }
    EXPECT_EQ(0, lastRead(server));
    close(server);
}

}  // namespace
