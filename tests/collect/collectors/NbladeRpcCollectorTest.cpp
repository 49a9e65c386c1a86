// The N-blade stream-service collectors against the simulated service, in a
// private network namespace with its own portmapper.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <syslog.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "NbladeStatsCollector.h"
#include "NbladeTestUtil.h"
#include "RecordTestUtil.h"
#include "SLogger.h"
#include "SimNbladeFiles.h"
#include "SimServiceLoop.h"
#include "SimStreamService.h"
#include "SmbStatsLayout.h"

namespace {

bool inNamespace() {
    if (getenv("TOLM_NETNS_ACTIVE")) return true;
    if (getenv("CI")) ADD_FAILURE() << "RPC tests must run in their private namespace under CI";
    return false;
}

#define REQUIRE_NAMESPACE()                                 \
    do {                                                    \
        if (!inNamespace()) {                               \
            if (!HasFailure()) GTEST_SKIP() << "no private network namespace"; \
            return;                                         \
        }                                                   \
    } while (0)

constexpr uint64_t kTick = 5;

uint64_t counter(uint32_t k) { return SimStreamService::counterValue(k, kTick); }

// The NFS-family sections by the position of each operation in the counter
// array: section base plus procedure number.
FieldValues expectedNfs(const std::vector<const char*>& fields, uint32_t base) {
    FieldValues v;
    for (uint32_t i = 0; i < fields.size(); i++) {
        v[std::string(fields[i]) + ".succeeded"] = counter(base + i);
        v[std::string(fields[i]) + ".failed"] = counter(base + i + 120);
    }
    return v;
}

void expectAllNfs(const nblade_data_t& rec) {
    EXPECT_EQ(NONZERO_FIELDS(rec.nfs2, NB_NFS2_FIELDS),
              expectedNfs({"null", "getAttr", "setAttr", "root", "lookUp", "readLink", "read",
                           "writeCache", "write", "create", "remove", "rename", "link", "symLink",
                           "mkDir", "rmDir", "readDir", "statFs"},
                          0));
    EXPECT_EQ(NONZERO_FIELDS(rec.nfs3, NB_NFS3_FIELDS),
              expectedNfs({"nullop", "getAttr", "setAttr", "lookUp", "access", "readLink", "read",
                           "write", "create", "mkDir", "symLink", "mkNod", "remove", "rmDir",
                           "rename", "link", "readDir", "readDirPlus", "fsStat", "fsInfo",
                           "pathConf", "commit"},
                          18));
    EXPECT_EQ(NONZERO_FIELDS(rec.mount, NB_MOUNT_FIELDS),
              expectedNfs({"null", "mount", "dump", "umount", "umountall", "exprt", "exportall",
                           "pathconf"},
                          40));
    EXPECT_EQ(NONZERO_FIELDS(rec.lock, NB_LOCK_FIELDS),
              expectedNfs({"null", "test", "lock", "cancel", "unlock", "granted", "share",
                           "unshare", "nmlock", "freeall"},
                          48));
    EXPECT_EQ(NONZERO_FIELDS(rec.sessionMonitor, NB_SESSION_MONITOR_FIELDS),
              expectedNfs({"nullproc", "checkstat", "monitor", "unmonitor", "unmonitorAll",
                           "simulateCrash", "notify"},
                          58));
    // The examples worked out by hand.
    EXPECT_EQ(rec.nfs3.access.succeeded, counter(22));
    EXPECT_EQ(rec.nfs3.access.failed, counter(142));
    EXPECT_EQ(rec.sessionMonitor.notify.failed, counter(184));
    EXPECT_GT(rec.nfs3.access.succeeded, 1ull << 32);
}

// Every SmbStats field but ScpFailedToReturnResponse lands in the record
// field of the same name.
void expectAllCifs(const nblade_data_t& rec) {
    FieldValues expected;
    uint32_t index = 0, word = 0;
#define SMB_EXPECT(type, name)                                                              \
    if (std::string(#name) != "ScpFailedToReturnResponse")                                  \
        expected[#name] = sizeof(type) == 8 ? counter(index) : SimStreamService::wordValue(word, kTick); \
    index++;                                                                                \
    word += sizeof(type) / 4;
    SMB_STATS_FIELDS(SMB_EXPECT)
#undef SMB_EXPECT
    ASSERT_EQ(word, 329u);
    EXPECT_EQ(NONZERO_FIELDS(rec.cifs, NB_CIFS_FIELDS), expected);
}

class ErrorCapture {
public:
    ErrorCapture() {
        SLogger::setObserver([this](int priority, const std::string& text) {
            if (priority == LOG_ERR) messages.push_back(text);
        });
    }
    ~ErrorCapture() { SLogger::setObserver(nullptr); }
    std::vector<std::string> messages;
};

}  // namespace

TEST(NbladeRpcCollectors, ServiceAbsentThenEveryReplyCase) {
    REQUIRE_NAMESPACE();
    ScratchDir dir;
    ASSERT_TRUE(SimNbladeFiles::write(dir.path(), 3));
    NbladeStatsCollector c(dir.path() + "/", "localhost");
    nblade_data_t rec;

    // No service registered: no client handle, both statuses -1, no
    // counters, while the file sections are filled.
    c.populate(&rec);
    EXPECT_EQ(static_cast<int32_t>(rec._nfsStatsRpcStatus), -1);
    EXPECT_EQ(static_cast<int32_t>(rec._cifsStatsRpcStatus), -1);
    EXPECT_TRUE(NONZERO_FIELDS(rec.nfs3, NB_NFS3_FIELDS).empty());
    EXPECT_TRUE(NONZERO_FIELDS(rec.cifs, NB_CIFS_FIELDS).empty());
    // transportStats is the 13th file written; "abortedConns" is its 7th line.
    EXPECT_EQ(rec.transport.abortedConns, SimNbladeFiles::lineValue(12, 6, 3));
    EXPECT_EQ(NONZERO_FIELDS(rec.transport, NB_TRANSPORT_FIELDS).size(), 42u);
    EXPECT_FALSE(NONZERO_FIELDS(rec.sidCache, NB_SID_CACHE_FIELDS).empty());
    EXPECT_EQ(rec.version, 1u);
    EXPECT_EQ(rec.mask, 0xFFFFFFFFu);

    SimStreamService::Options opts;
    opts.fixedTick = kTick;
    ASSERT_TRUE(SimStreamService::start(opts));
    auto loop = std::make_unique<SimServiceLoop>();

    // Words in the server's own order.
    c.populate(&rec);
    EXPECT_EQ(rec._nfsStatsRpcStatus, 0u);
    EXPECT_EQ(rec._cifsStatsRpcStatus, 0u);
    expectAllNfs(rec);
    expectAllCifs(rec);
    EXPECT_EQ(SimStreamService::requests(), 2u) << "one request per counter set";

    // Words in the other byte order, flagged by the control word.
    opts.swapped = true;
    SimStreamService::setOptions(opts);
    c.populate(&rec);
    EXPECT_EQ(rec._nfsStatsRpcStatus, 0u);
    expectAllNfs(rec);
    expectAllCifs(rec);

    // The service's own error is the status; nothing is copied.
    opts = SimStreamService::Options();
    opts.fixedTick = kTick;
    opts.error = 7;
    SimStreamService::setOptions(opts);
    c.populate(&rec);
    EXPECT_EQ(rec._nfsStatsRpcStatus, 7u);
    EXPECT_EQ(rec._cifsStatsRpcStatus, 7u);
    EXPECT_TRUE(NONZERO_FIELDS(rec.nfs2, NB_NFS2_FIELDS).empty());
    EXPECT_TRUE(NONZERO_FIELDS(rec.cifs, NB_CIFS_FIELDS).empty());

    // One word short: -2 and the size message with both byte counts.
    opts.error = 0;
    opts.wordDelta = -1;
    SimStreamService::setOptions(opts);
    {
        ErrorCapture log;
        c.populate(&rec);
        EXPECT_EQ(static_cast<int32_t>(rec._nfsStatsRpcStatus), -2);
        EXPECT_EQ(static_cast<int32_t>(rec._cifsStatsRpcStatus), -2);
        EXPECT_EQ(log.messages, (std::vector<std::string>{"Stat size mismatch for CIFS: 1312 != 1316",
                                                          "Stat size mismatch for NFS: 1476 != 1480"}));
        EXPECT_TRUE(NONZERO_FIELDS(rec.lock, NB_LOCK_FIELDS).empty());
    }
    // One word too many is a mismatch as well.
    opts.wordDelta = 1;
    SimStreamService::setOptions(opts);
    c.populate(&rec);
    EXPECT_EQ(static_cast<int32_t>(rec._nfsStatsRpcStatus), -2);

    loop.reset();
    SimStreamService::stop();
}

#ifdef TOLMNODESIM
// The simulator program: files under --root and the stream service, collected
// by the unchanged collector; two collections a tick apart differ.
TEST(NbladeRpcCollectors, CollectsFromTolmnodesim) {
    REQUIRE_NAMESPACE();
    ScratchDir dir;
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        execl(TOLMNODESIM, TOLMNODESIM, "--root", dir.path().c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    NbladeStatsCollector c(dir.path() + "/stream.d/", "localhost");
    nblade_data_t first, second;
    bool served = false;
    for (int i = 0; i < 100 && !served; i++) {
        usleep(100000);
        c.populate(&first);
        served = first._nfsStatsRpcStatus == 0 && first._cifsStatsRpcStatus == 0 &&
                 first.transport.numInPkts != 0;
    }
    ASSERT_TRUE(served) << "tolmnodesim did not come up";
    EXPECT_NE(first.nfs3.read.succeeded, 0u);
    EXPECT_NE(first.cifs.SmbRead, 0u);
    EXPECT_NE(first.bcp.histogram[59], 0u);
    EXPECT_NE(first.tolmXmitDescs.max, 0u);
    sleep(2);
    c.populate(&second);
    EXPECT_GT(second.transport.numInPkts, first.transport.numInPkts);
    EXPECT_GT(second.nfs3.read.succeeded, first.nfs3.read.succeeded);

    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}
#endif
