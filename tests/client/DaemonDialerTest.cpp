// The dialler of a cluster query: the service's own port first; on refusal
// the port the node's portmapper gives, asked in a datagram written out here
// by hand; and the portmapper's answers that mean no daemon.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DaemonDialer.h"
#include "SnapshotSource.h"

namespace {

uint16_t portOf(int fd) {
    sockaddr_in a = {};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

int loopbackSocket(int type) {
    int fd = socket(AF_INET, type, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
        return -1;
    return fd;
}

// A portmapper that answers each GETPORT with `answer` and keeps what it
// was asked.
class FakePortmapper {
  public:
    explicit FakePortmapper(uint32_t answer) : _fd(loopbackSocket(SOCK_DGRAM)), _answer(answer) {
        _thread = std::thread([this] { serve(); });
    }
    ~FakePortmapper() {
        _stop = true;
        _thread.join();
        close(_fd);
    }
    uint16_t port() const { return portOf(_fd); }
    std::vector<std::string> asked() {
        std::lock_guard<std::mutex> held(_lock);
        return _asked;
    }

  private:
    void serve() {
        while (!_stop) {
            pollfd p = {_fd, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0)
                continue;
            char buf[512];
            sockaddr_in from = {};
            socklen_t len = sizeof from;
            ssize_t n = recvfrom(_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n < 4)
                continue;
            {
                std::lock_guard<std::mutex> held(_lock);
                _asked.emplace_back(buf, static_cast<size_t>(n));
            }
            // xid, REPLY, MSG_ACCEPTED, null verifier, SUCCESS, the port.
            uint32_t reply[7] = {0, htonl(1), 0, 0, 0, 0, htonl(_answer)};
            memcpy(&reply[0], buf, 4);
            sendto(_fd, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), len);
        }
    }
    int _fd;
    uint32_t _answer;
    std::atomic<bool> _stop{false};
    std::mutex _lock;
    std::vector<std::string> _asked;
    std::thread _thread;
};

uint32_t wordAt(const std::string& bytes, size_t i) {
    uint32_t be;
    memcpy(&be, bytes.data() + 4 * i, 4);
    return ntohl(be);
}

// Accepts one connection within a second; -1 when none came.
int acceptOne(int listener) {
    pollfd p = {listener, POLLIN, 0};
    if (poll(&p, 1, 1000) <= 0)
        return -1;
    return accept(listener, nullptr, nullptr);
}

TEST(DaemonDialer, ServicePortFirstWithoutThePortmapper) {
    int service = loopbackSocket(SOCK_STREAM);
    ASSERT_EQ(0, listen(service, 4));
    FakePortmapper pm(1);
    DaemonDialer dialer(portOf(service), pm.port());
    int fd = dialer.dial("127.0.0.1", std::chrono::seconds(1));
    int got = acceptOne(service);
    EXPECT_GE(got, 0) << "the service's own port was not dialled";
    EXPECT_TRUE(pm.asked().empty());
    close(got);
    close(fd);
    close(service);
}

TEST(DaemonDialer, RedialAsksThePortmapper) {
    int daemon = loopbackSocket(SOCK_STREAM);
    ASSERT_EQ(0, listen(daemon, 4));
    int closed = loopbackSocket(SOCK_STREAM);  // bound, never listening
    FakePortmapper pm(portOf(daemon));
    DaemonDialer dialer(portOf(closed), pm.port());
    int fd = dialer.redial("127.0.0.1", std::chrono::seconds(1));
    int got = acceptOne(daemon);
    EXPECT_GE(got, 0) << "the portmapper's port was not dialled";
    std::vector<std::string> asked = pm.asked();
    ASSERT_EQ(1u, asked.size());
    // GETPORT of program 0x20000900 version 1 over TCP: xid, CALL, RPC 2,
    // PMAP 100000 version 2 procedure 3, no credentials, then the mapping.
    ASSERT_EQ(56u, asked[0].size());
    std::vector<uint32_t> expected = {wordAt(asked[0], 0), 0, 2, 100000, 2, 3, 0, 0, 0, 0,
                                      0x20000900,          1, 6, 0};
    for (size_t i = 0; i < expected.size(); i++)
        EXPECT_EQ(expected[i], wordAt(asked[0], i)) << "word " << i;
    close(got);
    close(fd);
    close(closed);
    close(daemon);
}

TEST(DaemonDialer, NoDaemonSaysWhy) {
    int closed = loopbackSocket(SOCK_STREAM);
    {
        FakePortmapper pm(0);
        DaemonDialer dialer(portOf(closed), pm.port());
        try {
            close(dialer.redial("127.0.0.1", std::chrono::seconds(1)));
            ADD_FAILURE() << "a program the portmapper does not know was dialled";
        } catch (SourceError& e) {
            EXPECT_NE(std::string::npos, std::string(e.what()).find("Program not registered"))
                << e.what();
        }
    }
    // No portmapper at all: a port-unreachable answer, at once.
    int quiet = loopbackSocket(SOCK_DGRAM);
    uint16_t nobody = portOf(quiet);
    close(quiet);
    DaemonDialer dialer(portOf(closed), nobody);
    try {
        close(dialer.redial("127.0.0.1", std::chrono::seconds(5)));
        ADD_FAILURE() << "dialled with no portmapper";
    } catch (SourceError& e) {
        // Told by the port-unreachable answer, not by waiting out the time.
        EXPECT_NE(std::string::npos,
                  std::string(e.what()).find("Port mapper failure - RPC: Unable to receive"))
            << e.what();
    }
    close(closed);
}

}  // namespace
