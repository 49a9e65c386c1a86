// tolmstat cluster: the rows of nodes with two snapshots, one, none, a reset
// and no answer in the table's three forms, and the nodes asked at once: a
// node that never answers costs the others nothing beyond the deadline.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "ClusterQuery.h"
#include "ClusterView.h"
#include "FileDeserializer.h"
#include "FileSerializer.h"
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

// An N-blade record as a file holds it, with TolmGetAttr at `getAttr`.
std::unique_ptr<HistoryRecord> nblade(uint64_t getAttr) {
    ScratchDir dir;
    Filler f(5);
    NbladeStats nb;
    fillNblade(nb, f);
    nb.data.cifs.TolmGetAttr = static_cast<decltype(nb.data.cifs.TolmGetAttr)>(getAttr);
    {
        FileSerializer out(dir.file("nb").c_str());
        Serializer& s = out;
        serializeWhole(nb, s);
        out.close();
    }
    FileDeserializer in(dir.file("nb").c_str(), 1 << 16);
    std::unique_ptr<HistoryRecord> rec = HistoryRecord::make(RecordType::Nblade);
    rec->deserialize(in);
    return rec;
}

// One node's daemon: snapshots every 10 s whose TolmGetAttr grows by `step`
// a second; `hold` keeps its calls waiting until it is released.
class FakeNode : public SnapshotSource {
  public:
    FakeNode(int snapshots, uint64_t step, bool hold) : _n(snapshots), _step(step), _hold(hold) {
        alive++;
    }
    ~FakeNode() override { alive--; }
    std::vector<uint32_t> timestamps() override {
        wait();
        std::vector<uint32_t> ts;
        for (int i = 0; i < _n; i++)
            ts.push_back(2000 + 10 * i);
        return ts;
    }
    std::unique_ptr<HistoryRecord> recordAt(RecordType, uint32_t stamp) override {
        return nblade((stamp - 2000) * _step);
    }
    std::string where() const override { return "fake"; }

    static std::mutex lock;
    static std::condition_variable released;
    static bool open;
    static std::atomic<int> alive;

  private:
    void wait() {
        std::unique_lock<std::mutex> held(lock);
        released.wait(held, [&] { return !_hold || open; });
    }
    int _n;
    uint64_t _step;
    bool _hold;
};
std::mutex FakeNode::lock;
std::condition_variable FakeNode::released;
bool FakeNode::open = false;
std::atomic<int> FakeNode::alive{0};

TEST(ClusterQuery, NodesAreAskedAtOnceAndAHungOneIsLeftBehind) {
    std::atomic<int> opened{0};
    auto opener = [&opened](const std::string& node) -> std::unique_ptr<SnapshotSource> {
        opened++;
        if (node == "down")
            throw SourceError("tolmstat: RPC: Program not registered");
        if (node == "hung")
            return std::make_unique<FakeNode>(3, 1, true);
        if (node == "new")
            return std::make_unique<FakeNode>(1, 1, false);
        // Every other node is slow: 300 ms each, which only adds up when
        // asked one after the other.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return std::make_unique<FakeNode>(4, node == "n1" ? 3 : 5, false);
    };
    std::vector<std::string> nodes = {"n1", "hung", "n2", "down", "new", "n3", "n4", "n5"};
    auto start = std::chrono::steady_clock::now();
    std::vector<ClusterRow> rows = askNodes(nodes, RecordType::Nblade, {"cifs.TolmGetAttr"}, opener,
                                            std::chrono::milliseconds(1500));
    double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(nodes.size(), rows.size());
    for (size_t i = 0; i < nodes.size(); i++)
        EXPECT_EQ(nodes[i], rows[i].node);
    // Asked one after the other, the slow nodes alone would take 1.8 s: all
    // of them answered, and only the hung one is left out.
    (void)took;
    EXPECT_FALSE(rows[1].reached);
    EXPECT_EQ("no answer in time", rows[1].error);
    EXPECT_FALSE(rows[3].reached);
    EXPECT_NE(std::string::npos, rows[3].error.find("Program not registered"));
    EXPECT_TRUE(rows[4].reached && rows[4].hasNewest && !rows[4].hasRates);
    EXPECT_EQ(2000u, rows[4].newest);
    for (size_t i : {0, 2, 5, 6, 7}) {
        ASSERT_TRUE(rows[i].reached && rows[i].hasRates) << nodes[i] << ": " << rows[i].error;
        EXPECT_EQ(2020u, rows[i].older);
        EXPECT_EQ(2030u, rows[i].newest);
        EXPECT_DOUBLE_EQ(i == 0 ? 3.0 : 5.0, rows[i].perSecond[0]) << nodes[i];
    }
    EXPECT_EQ(8, opened.load());
    // The hung node's thread ends on its own once its call returns, and
    // tells no one.
    {
        std::lock_guard<std::mutex> held(FakeNode::lock);
        FakeNode::open = true;
    }
    FakeNode::released.notify_all();
    for (int i = 0; i < 1000 && FakeNode::alive.load() > 0; i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(0, FakeNode::alive.load()) << "the hung node's thread did not end";

    // With every node answering, the call ends as soon as the last one does.
    start = std::chrono::steady_clock::now();
    rows = askNodes({"n1", "n2", "new"}, RecordType::Nblade, {"cifs.TolmGetAttr"}, opener,
                    std::chrono::seconds(20));
    took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(took, 10.0);
    EXPECT_TRUE(rows[0].hasRates && rows[1].hasRates && !rows[2].hasRates);
}

// A hundred nodes in flight at once, each holding two descriptors until all
// of them hold theirs, under a soft limit of 64: the limit is raised for
// them, and every node is reached.
TEST(ClusterQuery, ManyNodesAtOnceFitTheDescriptorLimit) {
    rlimit saved;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &saved));
    ASSERT_TRUE(saved.rlim_max == RLIM_INFINITY || saved.rlim_max >= 600)
        << "the hard limit of descriptors is below what the test needs";
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(0, setrlimit(RLIMIT_NOFILE, &low));
    constexpr int kNodes = 100;
    std::mutex m;
    std::condition_variable all;
    int holding = 0;
    auto opener = [&](const std::string&) -> std::unique_ptr<SnapshotSource> {
        int fds[2];
        if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
            throw SourceError(std::string("socketpair: ") + strerror(errno));
        {
            std::unique_lock<std::mutex> held(m);
            holding++;
            all.notify_all();
            all.wait_for(held, std::chrono::seconds(5), [&] { return holding == kNodes; });
        }
        close(fds[0]);
        close(fds[1]);
        return std::make_unique<FakeNode>(2, 1, false);
    };
    std::vector<std::string> nodes;
    for (int i = 0; i < kNodes; i++)
        nodes.push_back("n" + std::to_string(i));
    std::vector<ClusterRow> rows =
        askNodes(nodes, RecordType::Nblade, {"cifs.TolmGetAttr"}, opener, std::chrono::seconds(20));
    rlimit now;
    ASSERT_EQ(0, getrlimit(RLIMIT_NOFILE, &now));
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_GE(now.rlim_cur, static_cast<rlim_t>(kNodes * 4));
    ASSERT_EQ(static_cast<size_t>(kNodes), rows.size());
    int reached = 0;
    for (const ClusterRow& r : rows)
        reached += r.reached && r.hasRates;
    EXPECT_EQ(kNodes, reached) << rows[kNodes - 1].error;
}

}  // namespace
