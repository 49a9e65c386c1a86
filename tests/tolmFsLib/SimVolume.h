#pragma once

// tolmnodesim as the cluster for the file operation tests (NodeSim.h, with
// "second" under the work directory as a second VFS); the fixture connects
// the client library to it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "NodeSim.h"
#include "TolmDir.h"
#include "TolmErr.h"
#include "TolmFile.h"
#include "TolmVldb.h"

inline bool inNamespace() {
    if (getenv("TOLM_NETNS_ACTIVE"))
        return true;
    if (getenv("CI"))
        ADD_FAILURE() << "RPC tests must run in their private namespace under CI";
    return false;
}

class TolmFsSim : public testing::Test {
  protected:
    void SetUp() override {
        if (!inNamespace()) {
            if (!HasFailure())
                GTEST_SKIP() << "no private network namespace";
            return;
        }
        char pattern[] = "/tmp/tolmfs-sim.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        _work = pattern;
        mkdir((_work + "/vol").c_str(), 0755);
        mkdir((_work + "/second").c_str(), 0755);
    }
    void TearDown() override {
        if (!_work.empty())
            system(("rm -rf " + _work).c_str());
    }
    // Starts the node and the client library in location-service mode.
    void start(std::vector<std::string> extra = {}) {
        extra.push_back("--vfs");
        extra.push_back("second:200:1:" + _work + "/second");
        _node = std::make_unique<NodeSim>(_work, extra);
        ASSERT_TRUE(_node->ready());
        ASSERT_EQ(0u, _vldb.create("localhost", "localhost", 0));
        uint32_t id = 0;
        ASSERT_EQ(0u, _vldb.getDbladeLockHeld("tolm.stats_", &id, 0));
        _root = tolm_fid_t{id, TOLM_INO_ROOT, 0};
        _file = std::make_unique<TolmFile>(&_vldb);
        _dir = std::make_unique<TolmDir>(&_vldb);
    }
    void stop() {
        _file.reset();
        _dir.reset();
        _vldb.destroy();
        _node.reset();
    }
    tolm_fid_t makeFile(const tolm_fid_t& dir, const std::string& name) {
        tolm_set_attr_t set = {};
        set.how = TOLM_SET_MODE;
        set.mode = 0644;
        tolm_fid_t fid = {};
        EXPECT_EQ(0u,
                  _file->create(&dir, name.c_str(), &set, TOLM_CREATE_DEFAULT, &fid, nullptr, 0))
            << name;
        return fid;
    }

    std::string _work;
    std::unique_ptr<NodeSim> _node;
    TolmVldb _vldb;
    tolm_fid_t _root = {};
    std::unique_ptr<TolmFile> _file;
    std::unique_ptr<TolmDir> _dir;
};
