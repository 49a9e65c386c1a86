// The portmapper's GETPORT over UDP against a portmapper played by the test
// on a loopback datagram socket: the call datagram (written out by hand), an
// answer to another xid passed over, a lost datagram sent again, the
// statuses of a refused call, of an answer that does not decode, of silence,
// and of a portmapper that is not there.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "LocalRpcClient.h"
#include "RpcWords.h"

namespace {

// A datagram socket bound to a loopback port of its own, and its address.
int loopbackUdp(sockaddr_in* addr) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(0, bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a));
    socklen_t len = sizeof *addr;
    EXPECT_EQ(0, getsockname(fd, reinterpret_cast<sockaddr*>(addr), &len));
    return fd;
}

// A portmapper on a loopback port of its own: `answer` sees every datagram
// (and how many came before it) and gives the reply to send, or nothing.
class FakePortmapper {
  public:
    typedef std::function<Bytes(const Bytes& call, int index)> Answer;

    explicit FakePortmapper(Answer answer) : _answer(std::move(answer)) {
        _fd = loopbackUdp(&addr);
        _thread = std::thread([this] { serve(); });
    }
    ~FakePortmapper() {
        _stop = true;
        _thread.join();
        close(_fd);
    }

    sockaddr_in addr = {};
    // The datagrams received so far.
    std::vector<Bytes> seen() {
        std::lock_guard<std::mutex> lock(_mutex);
        return _calls;
    }

  private:
    void serve() {
        while (!_stop) {
            pollfd p = {_fd, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0)
                continue;
            unsigned char buf[512];
            sockaddr_in from = {};
            socklen_t len = sizeof from;
            ssize_t n = recvfrom(_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0)
                continue;
            Bytes call(buf, buf + n);
            int index;
            {
                std::lock_guard<std::mutex> lock(_mutex);
                _calls.push_back(call);
                index = static_cast<int>(_calls.size()) - 1;
            }
            Bytes reply = _answer(call, index);
            if (!reply.empty())
                sendto(_fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }

    Answer _answer;
    std::mutex _mutex;
    std::vector<Bytes> _calls;
    int _fd = -1;
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

Bytes accepted(uint32_t xid, uint32_t status, const std::vector<uint32_t>& results) {
    return words(acceptedWords(xid, status, results));
}

const timeval kFiveSeconds = {5, 0};

}  // namespace

TEST(PortmapperQuery, CallDatagramAndAnswerToItsOwnXid) {
    // First an answer to another call, then to this one.
    FakePortmapper right([](const Bytes& call, int index) {
        uint32_t xid = wordAt(call, 0);
        return index == 0 ? accepted(xid - 1, 0, {999}) : accepted(xid, 0, {2049});
    });
    uint32_t port = 7;
    EXPECT_EQ(RPC_SUCCESS, portmapperGetport(right.addr, 0x20000305, 1, kFiveSeconds, &port));
    EXPECT_EQ(port, 2049u);
    std::vector<Bytes> calls = right.seen();
    ASSERT_EQ(calls.size(), 2u) << "the passed-over answer leaves the call unanswered";
    const Bytes& call = calls[0];
    // xid, CALL, RPC version 2, portmapper 100000 version 2, GETPORT, null
    // credentials and verifier, then program, version, TCP and port 0.
    uint32_t xid = wordAt(call, 0);
    EXPECT_EQ(call, words({xid, 0, 2, 100000, 2, 3, 0, 0, 0, 0, 0x20000305, 1, 6, 0}));
    EXPECT_EQ(calls[1], call) << "sent again as it was";

    // Only answers to other calls: the query runs out its time.
    FakePortmapper pm([](const Bytes& c, int) { return accepted(wordAt(c, 0) + 1, 0, {999}); });
    uint32_t unchanged = 5;
    timeval short_ = {1, 500000};
    EXPECT_EQ(RPC_TIMEDOUT, portmapperGetport(pm.addr, 0x20000305, 1, short_, &unchanged));
    EXPECT_EQ(unchanged, 5u);
    std::vector<Bytes> again = pm.seen();
    ASSERT_GE(again.size(), 2u) << "an unanswered datagram goes again every second";
    for (const Bytes& c : again)
        EXPECT_EQ(c, again[0]);
    // Another query takes another xid.
    EXPECT_NE(wordAt(again[0], 0), xid);
}

TEST(PortmapperQuery, RefusalsBrokenAnswersAndNoPortmapper) {
    // Not registered: the answer 0 is a success with port 0.
    FakePortmapper zero([](const Bytes& call, int) { return accepted(wordAt(call, 0), 0, {0}); });
    uint32_t port = 7;
    EXPECT_EQ(RPC_SUCCESS, portmapperGetport(zero.addr, 0x20000305, 1, kFiveSeconds, &port));
    EXPECT_EQ(port, 0u);

    FakePortmapper unavail([](const Bytes& call, int) { return accepted(wordAt(call, 0), 3, {}); });
    EXPECT_EQ(RPC_PROCUNAVAIL, portmapperGetport(unavail.addr, 1, 1, kFiveSeconds, &port));

    // Version mismatch: the low and high versions follow the status.
    FakePortmapper mismatch([](const Bytes& call, int) {
        return accepted(wordAt(call, 0), 2, {3, 4});
    });
    EXPECT_EQ(RPC_PROGVERSMISMATCH, portmapperGetport(mismatch.addr, 1, 1, kFiveSeconds, &port));

    // Denied: MSG_DENIED, AUTH_ERROR, AUTH_BADCRED.
    FakePortmapper denied([](const Bytes& call, int) {
        return words({wordAt(call, 0), 1, 1, 1, 1});
    });
    EXPECT_EQ(RPC_AUTHERROR, portmapperGetport(denied.addr, 1, 1, kFiveSeconds, &port));

    // Success without the port word.
    FakePortmapper cut([](const Bytes& call, int) { return accepted(wordAt(call, 0), 0, {}); });
    port = 7;
    EXPECT_EQ(RPC_CANTDECODERES, portmapperGetport(cut.addr, 1, 1, kFiveSeconds, &port));
    EXPECT_EQ(port, 7u);

    // A port nobody listens on: the query ends at once, not after its
    // twenty seconds.
    sockaddr_in gone;
    close(loopbackUdp(&gone));
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RPC_CANTRECV, portmapperGetport(gone, 1, 1, timeval{20, 0}, &port));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}
