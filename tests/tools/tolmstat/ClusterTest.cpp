// tolmstat cluster: the rows of nodes with two snapshots, one, none, a reset
// and no answer in the table's three forms, and the nodes asked at once: a
// node that never answers costs the others nothing beyond the deadline,
// from one poll loop or from several threads' each.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "ClusterQuery.h"
#include "ClusterView.h"
#include "RecordTestUtil.h"
#include "StampName.h"
#include "WholeRecord.h"

namespace {

RecordValue counter(const std::string& name, uint64_t v, const std::string& pool = "") {
    RecordValue r{name, {}, FieldKind::Counter, FieldNumber{v, false, 64}};
    if (!pool.empty())
        r.labels.emplace_back("lp_name", pool);
    return r;
}

// Reads 10+100 -> 30+160 over 20 s (summed: 4/s); writes go down in one pool.
std::vector<CsvSample> twoSamples() {
    return {CsvSample{1000, {counter("r", 10, "a"), counter("r", 100, "b"), counter("w", 7)}},
            CsvSample{1020, {counter("r", 30, "a"), counter("r", 160, "b"), counter("w", 3)}}};
}

TEST(ClusterView, RowsOfEveryKindInEachForm) {
    std::vector<std::string> fields = {"r", "w"};
    std::vector<ClusterRow> rows;
    rows.push_back(clusterRow("node1", fields, twoSamples()));
    rows.push_back(clusterRow("node10", fields, {twoSamples()[1]}));
    rows.push_back(clusterRow("node2", fields, {}));
    ClusterRow gone;
    gone.node = "node3";
    gone.error = "RPC: Timed out";
    rows.push_back(gone);
    // The middle of three samples does not count.
    std::vector<CsvSample> three = twoSamples();
    three.insert(three.begin() + 1, CsvSample{1010, {counter("r", 0, "a"), counter("w", 0)}});
    rows.push_back(clusterRow("node4", fields, three));

    EXPECT_TRUE(rows[0].hasRates);
    EXPECT_DOUBLE_EQ(4.0, rows[0].perSecond[0]);
    EXPECT_TRUE(rows[0].reset[1]);
    EXPECT_FALSE(rows[1].hasRates);
    EXPECT_TRUE(rows[1].hasNewest);

    const uint32_t now = 1025;
    std::string n = stampName(1020);
    std::string pad(n.size() - 6, ' ');
    EXPECT_EQ("node    newest" + pad +
                  "  age      r      w\n"
                  "node1   " +
                  n + "    5  4.000  reset\n" + "node10  " + n +
                  "    5      -      -\n"
                  "node2   -" +
                  std::string(n.size() - 1, ' ') +
                  "    -      -      -\n"
                  "node3   unreachable\n"
                  "node4   " +
                  n + "    5  4.000  reset\n",
              clusterText(fields, rows, now));
    EXPECT_EQ(
        "node,newest,age,r,w\n"
        "node1,1020,5,4.000,\n"
        "node10,1020,5,,\n"
        "node2,,,,\n"
        "node3,unreachable,,,\n"
        "node4,1020,5,4.000,\n",
        clusterCsv(fields, rows, now));
    EXPECT_EQ(
        "[{\"node\": \"node1\", \"state\": \"ok\", \"newest\": 1020, \"age\": 5, \"from\": 1000, "
        "\"seconds\": 20, \"rates\": {\"r\": 4.000, \"w\": null}},\n"
        " {\"node\": \"node10\", \"state\": \"too few snapshots\", \"newest\": 1020, \"age\": 5},\n"
        " {\"node\": \"node2\", \"state\": \"too few snapshots\"},\n"
        " {\"node\": \"node3\", \"state\": \"unreachable\", \"error\": \"RPC: Timed out\"},\n"
        " {\"node\": \"node4\", \"state\": \"ok\", \"newest\": 1020, \"age\": 5, \"from\": 1000, "
        "\"seconds\": 20, \"rates\": {\"r\": 4.000, \"w\": null}}]\n",
        clusterJson(fields, rows, now));

    // A field no node with rates has is unknown; without rates nothing is.
    EXPECT_EQ((std::vector<std::string>{"x"}),
              clusterUnknownFields({"r", "x"}, {clusterRow("a", {"r", "x"}, twoSamples())}));
    EXPECT_TRUE(clusterUnknownFields({"x"}, {rows[1], rows[2], rows[3]}).empty());
}

TEST(ClusterView, NodeNamesInNaturalOrder) {
    std::vector<std::string> names = {"node10",  "node2",   "node1",  "a",
                                      "node02x", "node002", "node2b", "b1"};
    std::sort(names.begin(), names.end(), naturalLess);
    EXPECT_EQ((std::vector<std::string>{"a", "b1", "node1", "node002", "node2", "node2b", "node02x",
                                        "node10"}),
              names);
    EXPECT_FALSE(naturalLess("node2", "node2"));
}

// An N-blade record's XDR bytes, with TolmGetAttr at `getAttr`.
std::string nbladeXdr(uint64_t getAttr) {
    Filler f(5);
    NbladeStats nb;
    fillNblade(nb, f);
    nb.data.cifs.TolmGetAttr = static_cast<decltype(nb.data.cifs.TolmGetAttr)>(getAttr);
    Bytes bytes = xdrBytes([&](Serializer& s) { serializeWhole(nb, s); });
    std::string out(bytes.begin(), bytes.end());
    return out;
}

void putWord(std::string& out, uint32_t w) {
    uint32_t be = htonl(w);
    out.append(reinterpret_cast<const char*>(&be), 4);
}

uint32_t wordAt(const std::string& bytes, size_t i) {
    uint32_t be;
    memcpy(&be, bytes.data() + 4 * i, 4);
    return ntohl(be);
}

// What a fake daemon does with its connection.
struct Behaviour {
    int snapshots = 4;    // every 10 s from 2000
    uint64_t step = 1;    // TolmGetAttr's growth a second
    bool silent = false;  // takes the calls, never answers
};

// The daemons' ends of the connections, served from one thread of their own:
// each call read by its record mark (the xid first, the procedure the sixth
// word, a timestamp argument the eleventh) and answered in the wire's words.
class FakeDaemons {
  public:
    FakeDaemons() {
        int p[2];
        if (pipe(p) == 0) {
            _wake = p[0];
            _poke = p[1];
        }
        _thread = std::thread([this] { serve(); });
    }
    ~FakeDaemons() {
        _stop = true;
        (void)!write(_poke, "x", 1);
        _thread.join();
        for (auto& c : _conns)
            close(c.fd);
        close(_wake);
        close(_poke);
    }
    // A connected socket of the client's, whose other end behaves so.
    int connect(const Behaviour& b) {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds) != 0)
            throw SourceError(std::string("socketpair: ") + strerror(errno));
        {
            std::lock_guard<std::mutex> held(_lock);
            _added.push_back(Conn{fds[1], b, ""});
        }
        (void)!write(_poke, "x", 1);
        return fds[0];
    }
    int calls() const { return _calls.load(); }

  private:
    struct Conn {
        int fd;
        Behaviour b;
        std::string in;
    };
    void serve() {
        while (!_stop) {
            {
                std::lock_guard<std::mutex> held(_lock);
                for (Conn& c : _added)
                    _conns.push_back(c);
                _added.clear();
            }
            std::vector<pollfd> fds = {{_wake, POLLIN, 0}};
            for (Conn& c : _conns)
                fds.push_back({c.fd, POLLIN, 0});
            if (poll(fds.data(), fds.size(), 100) <= 0)
                continue;
            if (fds[0].revents) {
                char buf[64];
                (void)!read(_wake, buf, sizeof buf);
            }
            for (size_t i = 1; i < fds.size(); i++)
                if (fds[i].revents)
                    take(_conns[i - 1]);
        }
    }
    void take(Conn& c) {
        char buf[4096];
        ssize_t n = read(c.fd, buf, sizeof buf);
        if (n <= 0)
            return;
        c.in.append(buf, static_cast<size_t>(n));
        while (c.in.size() >= 4) {
            size_t len = wordAt(c.in, 0) & 0x7fffffffu;
            if (c.in.size() < 4 + len)
                break;
            std::string call = c.in.substr(4, len);
            c.in.erase(0, 4 + len);
            _calls++;
            if (!c.b.silent)
                answer(c, call);
        }
    }
    void answer(Conn& c, const std::string& call) {
        std::string body;
        putWord(body, wordAt(call, 0));
        for (uint32_t w : {1u, 0u, 0u, 0u, 0u})  // REPLY, accepted, no verifier, SUCCESS
            putWord(body, w);
        if (wordAt(call, 5) == 21) {
            putWord(body, static_cast<uint32_t>(c.b.snapshots));
            for (int i = 0; i < c.b.snapshots; i++)
                putWord(body, 2000 + 10 * i);
        } else {
            uint32_t stamp = wordAt(call, 10);
            putWord(body, 1);
            body += nbladeXdr((stamp - 2000) * c.b.step);
        }
        std::string out;
        putWord(out, 0x80000000u | static_cast<uint32_t>(body.size()));
        out += body;
        // The socket's buffer takes a few replies whole.
        (void)!write(c.fd, out.data(), out.size());
    }
    int _wake = -1, _poke = -1;
    std::atomic<bool> _stop{false};
    std::atomic<int> _calls{0};
    std::mutex _lock;
    std::vector<Conn> _added;
    std::vector<Conn> _conns;
    std::thread _thread;
};

// A loopback TCP socket with its connect on its way to a port where nobody
// listens: refused.
int refusingSocket() {
    int bound = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(bound, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(bound, reinterpret_cast<sockaddr*>(&a), &len);
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    close(bound);
    return fd;
}

// Nodes by name: "down" cannot be dialled, "hung" never answers, "new" has
// one snapshot, "moved" refuses its service port and is found again by its
// portmapper; n1 counts 3 a second, the others 5. Called from every lane.
class FakeDialer : public NodeDialer {
  public:
    explicit FakeDialer(FakeDaemons& daemons) : _daemons(daemons) {}
    int dial(const std::string& node, std::chrono::milliseconds) override {
        dialled++;
        {
            std::lock_guard<std::mutex> held(_lock);
            threads.insert(std::this_thread::get_id());
        }
        if (node == "down")
            throw SourceError("RPC: Unknown host");
        if (node == "moved")
            return refusingSocket();
        Behaviour b;
        b.silent = node == "hung";
        b.snapshots = node == "new" ? 1 : 4;
        b.step = node == "n1" ? 3 : 5;
        return _daemons.connect(b);
    }
    int redial(const std::string& node, std::chrono::milliseconds) override {
        {
            std::lock_guard<std::mutex> held(_lock);
            redialled.push_back(node);
        }
        Behaviour b;
        b.step = 7;
        return _daemons.connect(b);
    }
    std::atomic<int> dialled{0};
    std::vector<std::string> redialled;
    std::set<std::thread::id> threads;

  private:
    FakeDaemons& _daemons;
    std::mutex _lock;
};

// In one poll loop and dealt to three: the same rows, in the nodes' order.
class ClusterLanes : public ::testing::TestWithParam<unsigned> {};

TEST_P(ClusterLanes, NodesAreAskedAtOnceAndAHungOneIsLeftBehind) {
    FakeDaemons daemons;
    FakeDialer dialer(daemons);
    std::vector<std::string> nodes = {"n1", "hung", "n2", "down", "new", "moved", "n3"};
    std::vector<ClusterRow> rows = askNodes(nodes, RecordType::Nblade, {"cifs.TolmGetAttr"}, dialer,
                                            std::chrono::milliseconds(800), GetParam());
    EXPECT_EQ(GetParam(), dialer.threads.size());
    ASSERT_EQ(nodes.size(), rows.size());
    for (size_t i = 0; i < nodes.size(); i++)
        EXPECT_EQ(nodes[i], rows[i].node);
    EXPECT_EQ(7, dialer.dialled);
    EXPECT_EQ(std::vector<std::string>{"moved"}, dialer.redialled);
    EXPECT_FALSE(rows[1].reached);
    EXPECT_EQ("no answer in time", rows[1].error);
    EXPECT_FALSE(rows[3].reached);
    EXPECT_EQ("RPC: Unknown host", rows[3].error);
    EXPECT_TRUE(rows[4].reached && rows[4].hasNewest && !rows[4].hasRates) << rows[4].error;
    EXPECT_EQ(2000u, rows[4].newest);
    for (size_t i : {0, 2, 5, 6}) {
        ASSERT_TRUE(rows[i].reached && rows[i].hasRates) << nodes[i] << ": " << rows[i].error;
        EXPECT_EQ(2020u, rows[i].older);
        EXPECT_EQ(2030u, rows[i].newest);
        EXPECT_DOUBLE_EQ(i == 0 ? 3.0 : i == 5 ? 7.0 : 5.0, rows[i].perSecond[0]) << nodes[i];
    }
    // Each node that answered took three calls: the timestamps, two records.
    // The hung one took its first and was never asked more.
    EXPECT_EQ(4 * 3 + 2 + 1, daemons.calls());
}

INSTANTIATE_TEST_SUITE_P(OneAndThree, ClusterLanes, ::testing::Values(1u, 3u));

// A hundred nodes in flight at once, in four lanes, under a soft limit of
// 64 descriptors: the limit is raised for them, and every node is reached.
TEST(ClusterQuery, ManyNodesAtOnceFitTheDescriptorLimit) {
    rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
    ASSERT_TRUE(saved.rlim_max == RLIM_INFINITY || saved.rlim_max >= 600)
        << "the hard limit of descriptors is below what the test needs";
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
    constexpr int kNodes = 100;
    std::vector<std::string> nodes;
    for (int i = 0; i < kNodes; i++)
        nodes.push_back("n" + std::to_string(i + 2));
    std::vector<ClusterRow> rows;
    rlimit now;
    {
        FakeDaemons daemons;
        FakeDialer dialer(daemons);
        rows = askNodes(nodes, RecordType::Nblade, {"cifs.TolmGetAttr"}, dialer,
                        std::chrono::seconds(20), 4);
        getrlimit(RLIMIT_NOFILE, &now);
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_GE(now.rlim_cur, static_cast<rlim_t>(kNodes * 2));
    ASSERT_EQ(static_cast<size_t>(kNodes), rows.size());
    int reached = 0;
    for (const ClusterRow& r : rows)
        reached += r.reached && r.hasRates;
    EXPECT_EQ(kNodes, reached) << rows[kNodes - 1].error;
}

}  // namespace
