#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include "CollectorConfig.h"

namespace {

struct Result {
    int status;
    std::string out, err;
};

Result probe(const std::string& args) {
    char templ[] = "/tmp/probe.XXXXXX";
    std::string dir = mkdtemp(templ);
    std::string cmd = std::string(CONFIGPROBE) + " " + args + " >" + dir + "/out 2>" + dir + "/err";
    int rc = std::system(cmd.c_str());
    auto slurp = [](const std::string& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    Result r{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, slurp(dir + "/out"), slurp(dir + "/err")};
    std::system(("rm -rf " + dir).c_str());
    return r;
}

const char* kDefaults =
    "vfs=tolm.stats_ base=30 longsamplerate=8 persistsamplerate=60 shortentries=10 longentries=10 "
    "persistentries=10 noDaemon=0 persistBinary=0 dumpBinary=1 debug=0 skipzero=1\n";

const char* kUsage =
    "\t--vfs <vfs name>\n\t--base <base collection period>\n"
    "\t--shortentries <# short interval entries>\n\t--longentries <# long interval entries>\n"
    "\t--persistentries <# persisted entries>\n\t--longsamplerate <long entry sample rate>\n"
    "\t--persistsamplerate <persist sample rate>\n\t--persisttype binary | xml\n"
    "\t--dumptype binary | xml\n\t--dumpdir dir\n\t--nodaemon\n\t--showzero\n\t--debug\n"
    "\t--values\n";

TEST(CollectorConfig, OptionsAndSettingsText) {
    EXPECT_EQ(kDefaults, probe("").out);
    std::string set = "vfs=x base=30";
    for (const char* form : {"-vfs x", "--vfs x", "--vfs=x", "-vf x", "--vf=x"})
        EXPECT_EQ(0u, probe(form).out.find(set)) << form;

    Result r = probe(
        "--nodaemon --showzero --debug --vfs=v1 --base 0x10 --shortentries 3 --longentries=-1 "
        "--persistentries -7 --longsamplerate 010 --persistsamplerate 0 --persisttype b "
        "--dumptype x --dumpdir /d stray words --vfs v2");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(
        "vfs=v2 base=16 longsamplerate=8 persistsamplerate=0 shortentries=3 longentries=-1 "
        "persistentries=-7 noDaemon=1 persistBinary=1 dumpBinary=0 debug=1 skipzero=0\n",
        r.out);
    EXPECT_EQ(0u, probe("--base letters").out.find("vfs=tolm.stats_ base=0 "));
    EXPECT_NE(std::string::npos, probe("--persisttype binary --dumptype bin").out.find(
                                     "persistBinary=1 dumpBinary=1"));
    EXPECT_NE(std::string::npos, probe("--persisttype xml").out.find("persistBinary=0"));

    for (const char* bad : {"--persisttype binaryx", "--persisttype BINARY", "--persisttype ''"}) {
        r = probe(bad);
        EXPECT_EQ(1, r.status) << bad;
        EXPECT_EQ("", r.out);
        EXPECT_EQ(0u, r.err.find("persisttype must be binary or xml\nusage: ")) << bad;
        EXPECT_NE(std::string::npos, r.err.find(kUsage));
    }
    r = probe("--dumptype q");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(0u, r.err.find("dumptype must be binary or xml\n"));

    // Help acts at once, before a later bad option; the parser's own
    // diagnostics come before the usage text.
    r = probe("--help --bogus");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string("usage: ") + CONFIGPROBE + " <options>\n" + kUsage, r.err);
    r = probe("--bogus");
    EXPECT_EQ(1, r.status);
    EXPECT_NE(std::string::npos, r.err.find(std::string("usage: ") + CONFIGPROBE));
    EXPECT_EQ(1, probe("--vfs").status);
    EXPECT_EQ(1, probe("--d").status) << "ambiguous: dumptype, dumpdir, debug";

    // Values the loop and the rings cannot use are refused.
    r = probe("--longsamplerate 0");
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(0u, r.err.find("longsamplerate must be at least 1\nusage: "));
    EXPECT_EQ(0u, probe("--shortentries 0").err.find("shortentries must be -1 or at least 1\n"));
    EXPECT_EQ(0u, probe("--longentries -2").err.find("longentries must be -1 or at least 1\n"));
    EXPECT_EQ(0, probe("--shortentries -1 --longentries 1").status);
}

TEST(CollectorConfig, ValuesSummary) {
    Result r = probe("--values --base 60");
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(
        "Collector runs as a daemon\n\n"
        // Exactly 60 s is not above a minute, and exactly 3600 s not above an hour.
        "Base Collection interval 60s\n"
        "Long Collection interval 8m (every 8 samples)\n"
        "Internal entries maximum: 20\n"
        "    10 on base interval; 10 on long interval\n"
        "Internal entries written as binary\n"
        "Dump directory: /space1\n"
        "\n"
        "Persist VFS: tolm.stats_\n"
        "Persist interval: 60m (every 60 samples)\n"
        "Persisted entries maximum: 10\n"
        "Persisted entries written as xml\n"
        "    Stats whose values are 0 are skipped\n",
        r.out);

    r = probe("--values --nodaemon --dumptype xml --persisttype bin --debug --shortentries 4");
    EXPECT_EQ(
        "Base Collection interval 30s\n"
        "Long Collection interval 4m (every 8 samples)\n"
        "Internal entries maximum: 14\n"
        "    4 on base interval; 10 on long interval\n"
        "Internal entries written as xml\n"
        "    Stats whose values are 0 skipped\n"
        "Dump directory: /space1\n"
        "\n"
        "Persist VFS: tolm.stats_\n"
        "Persist interval: 30m (every 60 samples)\n"
        "Persisted entries maximum: 10\n"
        "Persisted entries written as binary\n"
        "debug enabled\n",
        r.out);
    r = probe("--showzero --values");
    EXPECT_EQ(std::string::npos, r.out.find("skipped"));
}

TEST(CollectorConfig, FormatTimeAndCopies) {
    struct {
        int s;
        const char* text;
    } cases[] = {{0, ""},     {30, "30s"},    {60, "60s"},       {61, "1m1s"},
                 {240, "4m"}, {1800, "30m"}, {3600, "60m"},     {3601, "1h1s"},
                 {86399, "23h59m59s"},       {86400, "1d"},     {86400 + 3600, "1d60m"},
                 {90061, "1d1h1m1s"}};
    for (const auto& c : cases) {
        std::string out = "old";
        formatTime(out, c.s);
        EXPECT_EQ(c.text, out) << c.s;
    }
    std::string name = "statsvol";
    CollectorConfig a(name);
    CollectorConfig b(a);
    EXPECT_STREQ(
        "vfs=statsvol base=30 longsamplerate=8 persistsamplerate=60 shortentries=10 longentries=10 "
        "persistentries=10 noDaemon=0 persistBinary=0 dumpBinary=1 debug=0 skipzero=1",
        b.getSettings());
}

}  // namespace
