// The location service client against the simulated VLDB and DLDB, in a
// private network namespace with its own portmapper, and against rfecho as
// the D-blade's Rf endpoint.

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <chrono>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "SimDldbService.h"
#include "SimServiceLoop.h"
#include "SimVldbService.h"
#include "TolmErr.h"
#include "TolmVldb.h"

namespace {

constexpr uint16_t kEchoPort = 7020;
constexpr uint16_t kOtherPort = 7021;

// rfecho on a port of the loopback, ready once it has said so.
class EchoServer {
  public:
    explicit EchoServer(uint16_t port) {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        _pid = fork();
        if (_pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::string p = std::to_string(port);
            execl(RFECHO_PATH, "rfecho", "--port", p.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char line[64] = {};
        ssize_t n = read(fds[0], line, sizeof line - 1);
        close(fds[0]);
        _ready = n > 0 && strstr(line, "rfecho: port") != nullptr;
    }
    ~EchoServer() {
        if (_pid > 0) {
            kill(_pid, SIGKILL);
            waitpid(_pid, nullptr, 0);
        }
    }
    bool ready() const { return _ready; }

  private:
    pid_t _pid = -1;
    bool _ready = false;
};

bool inNamespace() {
    if (getenv("TOLM_NETNS_ACTIVE"))
        return true;
    if (getenv("CI"))
        ADD_FAILURE() << "RPC tests must run in their private namespace under CI";
    return false;
}

#define REQUIRE_NAMESPACE()                                     \
    do {                                                        \
        if (!inNamespace()) {                                   \
            if (!HasFailure())                                  \
                GTEST_SKIP() << "no private network namespace"; \
            return;                                             \
        }                                                       \
    } while (0)

// The simulated location services, serving on a thread of their own.
class Location : public testing::Test {
  protected:
    void SetUp() override {
        REQUIRE_NAMESPACE();
        ASSERT_TRUE(SimVldbService::start());
        ASSERT_TRUE(SimDldbService::start());
        SimVldbService::clear();
        SimDldbService::clear();
        SimVldbService::addVfs("tolm.stats_", 100, 1);
        SimVldbService::addVfs("other", 200, 1);
        SimVldbService::addVfs("elsewhere", 300, 2);
        SimDldbService::addDblade(1, "localhost", kEchoPort);
        SimDldbService::addDblade(2, "127.0.0.1", kOtherPort);
        _loop = std::make_unique<SimServiceLoop>();
    }
    void TearDown() override {
        _loop.reset();
        SimDldbService::stop();
        SimVldbService::stop();
    }

    std::unique_ptr<SimServiceLoop> _loop;
};

uint16_t portOf(const RfConn* c) {
    return ntohs(c->toAddr.sin_port);
}

std::string echo(RfConn* c, const std::string& text, uint32_t* status) {
    RfPacket* request = RfUser_allocPacket(TolmVldb::getEndPoint());
    nbuf_addIov(request, text.data(), static_cast<int32_t>(text.size()));
    RfPacket* reply = nullptr;
    *status = TolmVldb::doRfCall(c, request, &reply);
    if (*status != 0)
        return "";
    std::string out(reinterpret_cast<const char*>(reply->datap), reply->size);
    Rf_freePacket(reply);
    return out;
}

TEST_F(Location, TheStatisticsVfsLeadsToAnRfConnectionThatCarriesCalls) {
    if (IsSkipped() || HasFailure())
        return;
    EchoServer echoServer(kEchoPort);
    ASSERT_TRUE(echoServer.ready());
    TolmVldb v;
    ASSERT_EQ(0u, v.create("localhost", "localhost", 0));

    uint32_t vfsId = 0;
    ASSERT_EQ(0u, v.getDbladeLockHeld("tolm.stats_", &vfsId, 0));
    EXPECT_EQ(100u, vfsId);
    RfConn* stats = v.getDbladeLockHeld(vfsId, 0);
    ASSERT_NE(nullptr, stats) << TolmErr::tolmFsLibError(tolmFsLibErrNo);
    EXPECT_EQ(kEchoPort, portOf(stats));
    EXPECT_EQ(htonl(INADDR_LOOPBACK), stats->toAddr.sin_addr.s_addr);
    EXPECT_EQ(1u, stats->interfaceId);
    uint32_t status = 1;
    EXPECT_EQ("hello, D-blade", echo(stats, "hello, D-blade", &status));
    EXPECT_EQ(0u, status);

    // Another VFS of the same D-blade: the same connection, no second DLDB question.
    EXPECT_EQ(stats, v.getDbladeLockHeld(200, 0));
    EXPECT_EQ(1u, SimDldbService::requestsFor(1));
    RfConn* other = v.getDbladeLockHeld(300, 0);
    ASSERT_NE(nullptr, other);
    EXPECT_NE(stats, other);
    EXPECT_EQ(kOtherPort, portOf(other));
    EXPECT_EQ(1u, v.areTwoVfsesOnSameDblade(100, 200));
    EXPECT_EQ(0u, v.areTwoVfsesOnSameDblade(100, 300));
    EXPECT_EQ(0u, v.areTwoVfsesOnSameDblade(100, 999));

    // What the VLDB does not know.
    vfsId = 5;
    EXPECT_EQ(0x3000066u, v.getDbladeLockHeld("tolm.stats", &vfsId, 0));
    EXPECT_EQ(0xFFFFFFFFu, vfsId);
    EXPECT_EQ(nullptr, v.getDbladeLockHeld(999, 0));
    EXPECT_EQ(0x3000069u, tolmFsLibErrNo);
    SimVldbService::setOptions({119, 0});
    EXPECT_EQ(nullptr, v.getDbladeLockHeld(100, 0));
    EXPECT_EQ(0x3000077u, tolmFsLibErrNo);
    SimVldbService::setOptions({});

    // Names refused before any lookup; 128 characters still go to the VLDB.
    uint32_t before = SimVldbService::requests();
    EXPECT_EQ(0x1000014u, v.getDbladeLockHeld("", &vfsId, 0));
    EXPECT_EQ(0x1000001u, v.getDbladeLockHeld(std::string(129, 'n').c_str(), &vfsId, 0));
    EXPECT_EQ(before, SimVldbService::requests());
    EXPECT_EQ(0x3000066u, v.getDbladeLockHeld(std::string(128, 'n').c_str(), &vfsId, 0));

    // The DLDB: out of quorum is an answer; not found is a failure.
    SimVldbService::addVfs("third", 400, 3);
    SimVldbService::addVfs("fourth", 500, 4);
    SimDldbService::addDblade(3, "localhost", 7023);
    SimDldbService::setOptions({3, 0});
    RfConn* third = v.getDbladeLockHeld(400, 0);
    ASSERT_NE(nullptr, third) << TolmErr::tolmFsLibError(tolmFsLibErrNo);
    EXPECT_EQ(7023, portOf(third));
    SimDldbService::setOptions({});
    EXPECT_EQ(nullptr, v.getDbladeLockHeld(500, 0));
    EXPECT_EQ(0x4000001u, tolmFsLibErrNo);
    SimDldbService::addDblade(4, "no-such-host.invalid", 7024);
    EXPECT_EQ(nullptr, v.getDbladeLockHeld(500, 0));
    EXPECT_EQ(0x100000du, tolmFsLibErrNo);

    // With local caching a VFS answer is kept: no second VLDB question unless refreshed.
    v.setLocalCaching(true);
    EXPECT_EQ(stats, v.getDbladeLockHeld(100, 0));
    before = SimVldbService::requests();
    EXPECT_EQ(stats, v.getDbladeLockHeld(100, 0));
    EXPECT_EQ(before, SimVldbService::requests());
    EXPECT_EQ(stats, v.getDbladeLockHeld(100, 1));
    EXPECT_EQ(before + 1, SimVldbService::requests());
    vfsId = 0;
    EXPECT_EQ(0u, v.getDbladeLockHeld("other", &vfsId, 0));
    EXPECT_EQ(0u, v.getDbladeLockHeld("other", &vfsId, 0));
    EXPECT_EQ(200u, vfsId);
    EXPECT_EQ(before + 2, SimVldbService::requests());
    v.destroy();
    EXPECT_EQ(nullptr, TolmVldb::getRf());
}

TEST_F(Location, ABrokenHandleIsRemadeOnceAndTwoFailuresAreRpcErrors) {
    if (IsSkipped() || HasFailure())
        return;
    TolmVldb v;
    ASSERT_EQ(0u, v.create("localhost", "localhost", 0));

    // The first request's connection is shut: the second attempt, on a new
    // handle, gets the answer.
    SimVldbService::setOptions({0, 1});
    SimDldbService::setOptions({-1, 1});
    RfConn* c = v.getDbladeLockHeld(100, 0);
    ASSERT_NE(nullptr, c) << TolmErr::tolmFsLibError(tolmFsLibErrNo);
    EXPECT_EQ(2u, SimVldbService::requests());
    EXPECT_EQ(2u, SimVldbService::connectionsSeen());
    EXPECT_EQ(2u, SimDldbService::requestsFor(1));
    EXPECT_EQ(2u, SimDldbService::connectionsSeen());

    // Both attempts fail: the RPC class with the call status (cannot receive).
    testing::internal::CaptureStderr();
    SimVldbService::setOptions({0, 2});
    EXPECT_EQ(nullptr, v.getDbladeLockHeld(100, 0));
    EXPECT_EQ(0x7000004u, tolmFsLibErrNo) << TolmErr::tolmFsLibError(tolmFsLibErrNo);
    SimDldbService::setOptions({-1, 2});
    EXPECT_EQ(nullptr, v.getDbladeLockHeld(300, 0));
    EXPECT_EQ(0x7000004u, tolmFsLibErrNo) << TolmErr::tolmFsLibError(tolmFsLibErrNo);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, printed.find("stream_vfsid_lookup :")) << printed;
    EXPECT_NE(std::string::npos, printed.find("dldb_getHostByDid :")) << printed;
    // The handles were remade for the next question.
    EXPECT_EQ(c, v.getDbladeLockHeld(200, 0));

    // A service that is not registered: its handle cannot be made.
    _loop.reset();
    SimDldbService::stop();
    testing::internal::CaptureStderr();
    std::thread fresh([&] {
        EXPECT_EQ(nullptr, v.getDbladeLockHeld(100, 0));
        EXPECT_EQ(0x100000fu, tolmFsLibErrNo);
    });
    fresh.join();
    SimVldbService::stop();
    std::thread fresh2([&] {
        EXPECT_EQ(nullptr, v.getDbladeLockHeld(100, 0));
        EXPECT_EQ(0x100000eu, tolmFsLibErrNo);
    });
    fresh2.join();
    printed = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos,
              printed.find("Could not retrieve port for localhost, prog 536872704, vers 1.\n"))
        << printed;
    EXPECT_NE(std::string::npos,
              printed.find("Could not retrieve port for localhost, prog 536871424, vers 3.\n"))
        << printed;
    v.destroy();
}

// A VLDB that keeps answering with replies of another xid: the lookup ends
// within the 25 seconds of its time-out (without a deadline of its own the
// RPC library would wait again after every reply), and once the VLDB is well
// again the next lookup is answered.
TEST_F(Location, AVldbSendingStaleRepliesIsGivenUpWithinItsTimeOut) {
    if (IsSkipped() || HasFailure())
        return;
    TolmVldb v;
    ASSERT_EQ(0u, v.create("localhost", "localhost", 0));
    SimVldbService::Options stale;
    stale.staleRequests = 100;
    SimVldbService::setOptions(stale);
    testing::internal::CaptureStderr();
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(nullptr, v.getDbladeLockHeld(100, 0));
    double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(0x7000005u, tolmFsLibErrNo) << TolmErr::tolmFsLibError(tolmFsLibErrNo);
    EXPECT_GE(took, 24.0);
    EXPECT_LE(took, 27.0) << "the lookup outlived its time-out";
    EXPECT_EQ(1u, SimVldbService::requests()) << "no second attempt after the deadline";
    SimVldbService::setOptions(SimVldbService::Options());
    EXPECT_NE(nullptr, v.getDbladeLockHeld(100, 0)) << TolmErr::tolmFsLibError(tolmFsLibErrNo);
    v.destroy();
}

TEST_F(Location, HostsThatDoNotResolveAndTheStandAloneMode) {
    if (IsSkipped() || HasFailure())
        return;
    {
        TolmVldb v;
        EXPECT_EQ(0x100000bu, v.create("no-such-host.invalid", "localhost", 0));
        EXPECT_EQ(0x100000cu, v.create("localhost", "no-such-host.invalid", 0));
        EXPECT_EQ(0x1000009u, v.create());
        EXPECT_EQ(0x100000au, v.connect("localhost", kEchoPort));
        EXPECT_EQ(nullptr, TolmVldb::getRf()) << "a failed set-up leaves nothing behind";
    }
    EchoServer echoServer(kEchoPort);
    ASSERT_TRUE(echoServer.ready());
    TolmVldb v;
    v.setUseVldb(0);
    // The location-service set-up falls back to the plain one.
    ASSERT_EQ(0u, v.create("no-such-host.invalid", "no-such-host.invalid", 0));
    EXPECT_EQ(0x100000du, v.connect("no-such-host.invalid", kEchoPort));
    ASSERT_EQ(0u, v.connect("localhost", kEchoPort));
    RfConn* c = v.getDbladeLockHeld(12345, 0);
    ASSERT_NE(nullptr, c);
    EXPECT_EQ(kEchoPort, portOf(c));
    uint32_t vfsId = 77;
    EXPECT_EQ(0u, v.getDbladeLockHeld("anything", &vfsId, 0));
    EXPECT_EQ(77u, vfsId);
    EXPECT_EQ(0u, SimVldbService::requests());
    uint32_t status = 1;
    EXPECT_EQ(std::string(5000, 'x'), echo(c, std::string(5000, 'x'), &status));
    EXPECT_EQ(0u, status);
    // A D-blade that never answers: the call time-out, as an Rf status.
    v.destroy();
    TolmVldb quiet;
    quiet.setUseVldb(0);
    ASSERT_EQ(0u, quiet.create());
    ASSERT_EQ(0u, quiet.connect("localhost", 7099));
    quiet.setRfDefaultCallTimeout(1);
    Rf_setDefaultCommTimeout(TolmVldb::getRf(), 1);
    echo(quiet.getDbladeLockHeld(1, 0), "anyone?", &status);
    EXPECT_EQ(0x5000000u, status & 0xFF000000u) << TolmErr::tolmFsLibError(status);
    quiet.destroy();
}

TEST_F(Location, ThreadsAskingAtOnceShareOneConnectionWithTheirOwnHandles) {
    if (IsSkipped() || HasFailure())
        return;
    TolmVldb v;
    ASSERT_EQ(0u, v.create("localhost", "localhost", 0));
    constexpr int kThreads = 8;
    std::vector<RfConn*> conns(kThreads);
    std::vector<Tsd*> tsds(kThreads);
    std::vector<CLIENT*> clients(kThreads);
    pthread_barrier_t start;
    pthread_barrier_t done;
    pthread_barrier_init(&start, nullptr, kThreads);
    pthread_barrier_init(&done, nullptr, kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; i++) {
        threads.emplace_back([&, i] {
            pthread_barrier_wait(&start);
            conns[i] = v.getDbladeLockHeld(100, 0);
            v.getTsd(&tsds[i]);
            clients[i] = tsds[i] ? tsds[i]->vldbClnt : nullptr;
            // Every thread keeps its handles until all have looked.
            pthread_barrier_wait(&done);
        });
    }
    for (auto& t : threads)
        t.join();
    pthread_barrier_destroy(&start);
    pthread_barrier_destroy(&done);
    for (int i = 0; i < kThreads; i++) {
        ASSERT_NE(nullptr, conns[i]) << i;
        EXPECT_EQ(conns[0], conns[i]) << i;
    }
    EXPECT_EQ(kThreads, static_cast<int>(std::set<Tsd*>(tsds.begin(), tsds.end()).size()));
    EXPECT_EQ(kThreads, static_cast<int>(std::set<CLIENT*>(clients.begin(), clients.end()).size()));
    EXPECT_EQ(static_cast<size_t>(kThreads), SimVldbService::connectionsSeen());
    // One cache entry for the D-blade, however many threads asked the DLDB.
    int entries = 0;
    for (uint32_t i = 0; i < v.dbladeLru()->numEntries(); i++) {
        const Dblade2Ip* d = reinterpret_cast<const Dblade2Ip*>(v.dbladeLru()->entryAt(i));
        if (d->listEntry.hashEntry.valid && d->dId == 1)
            entries++;
    }
    EXPECT_EQ(1, entries);
    v.destroy();
}

TEST_F(Location, The1025thDbladeTakesTheEntryFilledFirst) {
    if (IsSkipped() || HasFailure())
        return;
    constexpr uint32_t kDblades = 1025;
    for (uint32_t d = 1; d <= kDblades; d++) {
        SimVldbService::addVfs("v" + std::to_string(d), 10000 + d, static_cast<uint16_t>(d));
        SimDldbService::addDblade(static_cast<uint16_t>(d), "localhost",
                                  static_cast<uint16_t>(20000 + d));
    }
    TolmVldb v;
    ASSERT_EQ(0u, v.create("localhost", "localhost", 0));
    for (uint32_t d = 1; d < kDblades; d++)
        ASSERT_NE(nullptr, v.getDbladeLockHeld(10000 + d, 0));
    // Asking again for an early one does not make it recently filled.
    ASSERT_NE(nullptr, v.getDbladeLockHeld(10001, 0));
    EXPECT_EQ(1u, SimDldbService::requestsFor(1));
    EXPECT_EQ(static_cast<int32_t>(kDblades - 1), TolmVldb::getRf()->numConns);

    RfConn* last = v.getDbladeLockHeld(10000 + kDblades, 0);
    ASSERT_NE(nullptr, last);
    EXPECT_EQ(20000 + kDblades, portOf(last));
    uint32_t first = 1;
    uint32_t second = 2;
    uint32_t newest = kDblades;
    EXPECT_EQ(nullptr,
              v.dbladeHash()->findEntry(&first, TolmVldb::hashId, TolmVldb::matchDbladeId));
    EXPECT_NE(nullptr,
              v.dbladeHash()->findEntry(&second, TolmVldb::hashId, TolmVldb::matchDbladeId));
    EXPECT_NE(nullptr,
              v.dbladeHash()->findEntry(&newest, TolmVldb::hashId, TolmVldb::matchDbladeId));
    // The evicted D-blade's connection went with it.
    EXPECT_EQ(static_cast<int32_t>(kDblades - 1), TolmVldb::getRf()->numConns);
    // D-blade 1 again: asked anew, and it takes D-blade 2's entry.
    ASSERT_NE(nullptr, v.getDbladeLockHeld(10001, 0));
    EXPECT_EQ(2u, SimDldbService::requestsFor(1));
    EXPECT_EQ(nullptr,
              v.dbladeHash()->findEntry(&second, TolmVldb::hashId, TolmVldb::matchDbladeId));
    v.destroy();
}

}  // namespace
