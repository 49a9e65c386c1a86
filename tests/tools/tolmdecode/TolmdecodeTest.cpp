#include <gtest/gtest.h>
#include <sys/wait.h>

#include "RecordTestUtil.h"

namespace {

struct Result {
    int status;
    std::string out;
    std::string err;
};

Result run(const ScratchDir& dir, const std::string& args) {
    std::string outPath = dir.file("stdout"), errPath = dir.file("stderr");
    std::string cmd = std::string(TOLMDECODE) + " " + args + " >" + outPath + " 2>" + errPath;
    int rc = std::system(cmd.c_str());
    Bytes out = readFile(outPath), err = readFile(errPath);
    return {WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, std::string(out.begin(), out.end()),
            std::string(err.begin(), err.end())};
}

template <typename R>
std::string xmlOf(R& rec, bool skipZero) {
    CapturingRenderer r;
    r.skipZeroAttributes(skipZero);
    rec.toXml(r);
    return r.text;
}

class Tolmdecode : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, std::system((std::string(TOLMSAMPLERECORDS) + " " + dir.path()).c_str()));
    }
    std::string f(const char* name) { return dir.file(name); }
    ScratchDir dir;
};

TEST_F(Tolmdecode, PrintsEachRecordAsItRendersItself) {
    NbladeStats nb(f("nblade").c_str());
    LpStatsSet lp(f("lp").c_str());
    FcdStats fcd(f("fcd").c_str());
    MgmtProcStats mgmt(f("mgmtproc").c_str());
    DbladeStats db(f("dblade").c_str());

    Result r = run(dir, f("nblade") + " " + f("lp") + " " + f("dblade"));
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("", r.err);
    EXPECT_EQ(xmlOf(nb, true) + xmlOf(lp, true) + xmlOf(db, true), r.out);
    EXPECT_EQ(std::string::npos, r.out.find("<?xml"));

    r = run(dir, "--xml --showzero " + f("fcd"));
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(xmlOf(fcd, false), r.out);
    EXPECT_NE(xmlOf(fcd, true), r.out) << "the sample has zero counters to show";

    r = run(dir, "--dump " + f("mgmtproc") + " " + f("fcd"));
    EXPECT_EQ(0, r.status);
    testing::internal::CaptureStdout();
    mgmt.dump();
    fcd.dump();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), r.out);
}

TEST_F(Tolmdecode, FailuresGoToStandardErrorAndTheRestIsDecoded) {
    MgmtProcStats mgmt(f("mgmtproc").c_str());
    Bytes nb = readFile(f("nblade"));
    writeFile(f("short"), Bytes(nb.begin(), nb.begin() + 2000));
    writeFile(f("tiny"), Bytes({0, 0}));
    writeFile(f("alien"), Bytes({9, 0, 0, 0, 1, 2, 3, 4}));
    Bytes lp = readFile(f("lp"));
    // Cut inside the first pool's name.
    writeFile(f("lpname"), Bytes(lp.begin(), lp.begin() + 418));
    // A whole record with one byte more.
    Bytes longer = readFile(f("fcd"));
    longer.push_back(0);
    writeFile(f("longer"), longer);

    Result r = run(dir, f("short") + " " + f("missing") + " " + f("mgmtproc") + " " + f("tiny") +
                            " " + f("alien") + " " + f("lpname") + " " + f("longer"));
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(xmlOf(mgmt, true), r.out) << "nothing of a half-read record is printed";
    EXPECT_EQ("tolmdecode: " + f("short") + ": Read past EOF\n" + "tolmdecode: " + f("missing") +
                  ": Cannot open file: " + f("missing") + ": No such file or directory\n" +
                  "tolmdecode: " + f("tiny") + ": Read past EOF\n" + "tolmdecode: " + f("alien") +
                  ": unknown record type 9\n" + "tolmdecode: " + f("lpname") +
                  ": deserialization failed: not enough bytes for name: 4\n" +
                  "tolmdecode: " + f("longer") + ": trailing bytes after the record\n",
              r.err);

    r = run(dir, "--dump " + f("dblade") + " " + f("mgmtproc"));
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("tolmdecode: " + f("dblade") + ": a D-blade record has no text dump\n", r.err);
    EXPECT_NE(std::string::npos, r.out.find("Tomcat: vmsize = "));

    r = run(dir, "--help");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.out.find("usage: tolmdecode [--xml | --dump] [--showzero] FILE..."));
    EXPECT_EQ("", r.err);
    r = run(dir, "");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.find("usage: tolmdecode"));
    r = run(dir, "--bogus " + f("mgmtproc"));
    EXPECT_EQ(1, r.status);
}

}  // namespace
