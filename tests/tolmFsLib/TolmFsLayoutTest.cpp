// Directory reads against the simulated D-blade file service, run inside the
// test on the client's own Rf instance and reached over Rf on loopback, in every directory read
// layout the service offers: both segment headers, both units of the count, one to four segments a
// reply, the end flag in a reply of its own or with the last segment. Every name comes back once,
// in order, whatever the layout.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "SimDbladeFs.h"
#include "TolmDir.h"
#include "TolmErr.h"
#include "TolmVldb.h"

namespace {

constexpr uint32_t kVfs = 300;

struct Listing {
    std::vector<std::string> names;
};

int add(void* arg, const char* name, uint32_t, uint32_t, uint32_t) {
    static_cast<Listing*>(arg)->names.push_back(name);
    return 0;
}

class TolmFsLayout : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/tolmfs-layout.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        _work = pattern;
        // 1, 63, 64, 150 and 1000 names, short (one entry) and long (three).
        for (int n : {1, 63, 64, 150, 1000}) {
            for (bool isLong : {false, true}) {
                std::string dir = dirName(n, isLong);
                ASSERT_EQ(0, mkdir((_work + "/" + dir).c_str(), 0755));
                std::vector<std::string> names;
                for (int i = 0; i < n; i++) {
                    char name[64];
                    if (isLong)
                        snprintf(name, sizeof name, "%04d-a-name-of-three-entries-%013d", i, i);
                    else
                        snprintf(name, sizeof name, "%04d-short", i);
                    names.push_back(name);
                    std::ofstream(_work + "/" + dir + "/" + name).put('x');
                }
                _expected[dir] = names;
            }
        }
        _vldb.setUseVldb(0);
        ASSERT_EQ(0u, _vldb.create());
        SimDbladeFs::Options options;
        ASSERT_TRUE(SimDbladeFs::attach(TolmVldb::getRf(), TolmVldb::getEndPoint(), options));
        SimDbladeFs::addVfs(kVfs, "layouts", _work);
        ASSERT_EQ(0u, _vldb.connect("127.0.0.1", RfUser_getEndPointPort(TolmVldb::getEndPoint())));
    }
    static void TearDownTestSuite() {
        SimDbladeFs::stop();
        _vldb.destroy();
        if (!_work.empty())
            system(("rm -rf " + _work).c_str());
    }
    static std::string dirName(int n, bool isLong) {
        return std::to_string(n) + (isLong ? "-long" : "-short");
    }

    static std::string _work;
    static std::map<std::string, std::vector<std::string>> _expected;
    static TolmVldb _vldb;
};

std::string TolmFsLayout::_work;
std::map<std::string, std::vector<std::string>> TolmFsLayout::_expected;
TolmVldb TolmFsLayout::_vldb;

TEST_F(TolmFsLayout, EveryLayoutGivesEveryNameOnceInOrder) {
    TolmDir dir(&_vldb);
    tolm_fid_t root = {kVfs, TOLM_INO_ROOT, 0};
    int layouts = 0;
    for (auto header : {SimDirSegments::Header::Narrow, SimDirSegments::Header::Wide}) {
        for (bool inSegments : {false, true}) {
            for (int perReply = 1; perReply <= 4; perReply++) {
                for (bool endWithData : {false, true}) {
                    SimDbladeFs::DirLayout layout;
                    layout.header = header;
                    layout.countInSegments = inSegments;
                    layout.segmentsPerReply = perReply;
                    layout.endWithData = endWithData;
                    SimDbladeFs::setDirLayout(layout);
                    std::string what =
                        std::string(header == SimDirSegments::Header::Wide ? "wide" : "narrow") +
                        (inSegments ? ", count in segments" : ", count in bytes") + ", " +
                        std::to_string(perReply) + " a reply" +
                        (endWithData ? ", end with data" : ", end alone");
                    for (const auto& d : _expected) {
                        tolm_fid_t fid;
                        ASSERT_EQ(0u, dir.lookup(&root, d.first.c_str(), nullptr, &fid));
                        Listing got;
                        uint32_t count = 0;
                        uint32_t before = dir.callsMade();
                        ASSERT_EQ(TOLM_ERR_END_OF_FILE,
                                  dir.readDir(&fid, 0, &count, nullptr, add, &got))
                            << d.first << ": " << what;
                        EXPECT_EQ(d.second, got.names) << d.first << ": " << what;
                        EXPECT_EQ(d.second.size(), count) << d.first << ": " << what;
                        // Short names: 63 a segment; long ones: 21.
                        size_t perSegment = d.first.find("long") != std::string::npos ? 21 : 63;
                        size_t segments = (d.second.size() + perSegment - 1) / perSegment;
                        size_t replies =
                            (segments + perReply - 1) / perReply + (endWithData ? 0 : 1);
                        EXPECT_EQ(replies, dir.callsMade() - before) << d.first << ": " << what;
                    }
                    layouts++;
                }
            }
        }
    }
    EXPECT_EQ(32, layouts);
}

}  // namespace
