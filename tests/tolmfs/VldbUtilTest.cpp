#include <gtest/gtest.h>
#include <poll.h>
#include <rpc/rpc.h>

#include <atomic>
#include <memory>
#include <cstdlib>
#include <thread>
#include <vector>

#include "SimVldbService.h"
#include "StatsDirMgr.h"
#include "VldbUtil.h"

namespace {

// Serves registered RPC programs on a thread of its own until destroyed.
class ServiceLoop {
public:
    ServiceLoop() : _thread([this] { run(); }) {}
    ~ServiceLoop() {
        _stop = true;
        _thread.join();
    }

private:
    void run() {
        while (!_stop) {
            std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
            int n = poll(fds.data(), fds.size(), 50);
            if (n > 0) svc_getreq_poll(fds.data(), n);
        }
    }
    std::atomic<bool> _stop{false};
    std::thread _thread;
};

void requireNamespace() {
    if (getenv("TOLM_NETNS_ACTIVE")) return;
    if (getenv("CI")) FAIL() << "RPC tests must run in their private namespace under CI";
    GTEST_SKIP() << "no private network namespace";
}

TEST(VldbUtil, LooksUpTheStatisticsVfsByName) {
    requireNamespace();
    if (testing::Test::IsSkipped() || testing::Test::HasFatalFailure()) return;

    uint32_t id = 99;
    // No VLDB registered: the client cannot be made.
    EXPECT_EQ(static_cast<uint32_t>(-1), VldbUtil::lookupVfsid("tolm.stats_", id));
    EXPECT_EQ(0u, id);

    ASSERT_TRUE(SimVldbService::start());
    SimVldbService::addVfs("tolm.stats_", 0x80001234u, 3);
    SimVldbService::addVfs("other", 7, 1);
    auto loop = std::make_unique<ServiceLoop>();

    EXPECT_EQ(0u, VldbUtil::lookupVfsid("tolm.stats_", id));
    EXPECT_EQ(0x80001234u, id);
    SimVldbService::LastLookup last = SimVldbService::lastLookup();
    EXPECT_TRUE(last.seen);
    EXPECT_EQ(2u, last.inputMask) << "match on the VFS name";
    EXPECT_EQ("", last.family);
    EXPECT_EQ("tolm.stats_", last.vfsname);

    // An unknown name: success with id 0.
    id = 5;
    EXPECT_EQ(0u, VldbUtil::lookupVfsid("tolm.stats_x", id));
    EXPECT_EQ(0u, id);

    // The directory manager keeps a found id and retries a missing one.
    StatsDirMgr missing("not.there", 10);
    EXPECT_EQ(nullptr, missing.getSnapDir());
    EXPECT_EQ(0u, missing.vfsId());
    SimVldbService::addVfs("not.there", 42, 1);
    EXPECT_EQ(nullptr, missing.getSnapDir());
    EXPECT_EQ(42u, missing.vfsId());
    SimVldbService::clear();
    EXPECT_EQ(nullptr, missing.getSnapDir());
    EXPECT_EQ(42u, missing.vfsId()) << "a found id is never looked up again";
    EXPECT_FALSE(SimVldbService::lastLookup().seen);
    EXPECT_FALSE(missing.hostname().empty());
    loop.reset();
    SimVldbService::stop();
}

}  // namespace
