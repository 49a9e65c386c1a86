// A mebibyte written and read back through the simulated D-blade while both
// ends drop a tenth of their datagrams (slow: every loss waits for a resend).

#include "SimVolume.h"

namespace {

TEST_F(TolmFsSim, AMebibyteSurvivesTenPercentLoss) {
    if (IsSkipped() || HasFailure())
        return;
    start({"--fs-drop", "10"});
    RfUser_setDropPct(TolmVldb::getEndPoint(), 10);
    std::vector<uint8_t> data(1 << 20);
    uint32_t x = 12345;
    for (auto& b : data) {
        x = x * 1103515245 + 12345;
        b = static_cast<uint8_t>(x >> 16);
    }
    tolm_fid_t f = makeFile(_root, "mib");
    ASSERT_EQ(0u, _file->write(&f, 0, data.size(), data.data(), nullptr));
    std::vector<uint8_t> back(data.size());
    uint64_t got = 0;
    EXPECT_EQ(0x1000006u, _file->read(&f, 0, back.size(), 0, &got, back.data(), nullptr));
    EXPECT_EQ(data.size(), got);
    EXPECT_TRUE(data == back);
    EXPECT_EQ(std::string(data.begin(), data.end()), slurp(_work + "/vol/mib"));
    RfUser_setDropPct(TolmVldb::getEndPoint(), 0);
    stop();
}

}  // namespace
