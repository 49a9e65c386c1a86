// The file operations against the simulated node (tolmnodesim: its VLDB, DLDB
// and D-blade file service over real Rf), in a private network namespace
// with its own portmapper. The D-blade's request log shows what was sent.

#include "SimVolume.h"

namespace {

TEST_F(TolmFsSim, FilesAndDirectoriesLandInTheVolume) {
    if (IsSkipped() || HasFailure())
        return;
    start();
    EXPECT_EQ(100u, _root.vfs);
    tolm_set_attr_t set = {};
    set.how = TOLM_SET_MODE;
    set.mode = 0755;
    tolm_fid_t host;
    tolm_attr_t attr;
    ASSERT_EQ(0u, _dir->mkDir(&_root, "host", &set, &host, &attr, 0));
    EXPECT_EQ(2, attr.filetype) << "file type 2 is a directory";
    tolm_fid_t f = makeFile(host, "nblade");
    std::vector<uint8_t> data(20000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = static_cast<uint8_t>(i * 13 + 1);
    ASSERT_EQ(0u, _file->write(&f, 0, data.size(), data.data(), &attr));
    EXPECT_EQ(20000u, attr.length);
    EXPECT_EQ(std::string(data.begin(), data.end()), slurp(_work + "/vol/host/nblade"));
    std::string log = _node->log();
    EXPECT_EQ(1, countLines(log, "write vfs=100 offset=0 count=8192"));
    EXPECT_EQ(1, countLines(log, "write vfs=100 offset=8192 count=8192"));
    EXPECT_EQ(1, countLines(log, "write vfs=100 offset=16384 count=3616"));

    // Looked up again by path: two lookups; read back whole, then past the end.
    tolm_fid_t again;
    ASSERT_EQ(0u, _file->lookup(&_root, "host/nblade", nullptr, &again));
    EXPECT_EQ(f.vnode, again.vnode);
    EXPECT_EQ(f.unique, again.unique);
    std::vector<uint8_t> back(20000);
    uint64_t got = 0;
    EXPECT_EQ(0x1000006u, _file->read(&f, 0, back.size(), 0, &got, back.data(), &attr))
        << "the last piece reaches the end of the file";
    EXPECT_EQ(20000u, got);
    EXPECT_EQ(data, back);
    EXPECT_EQ(0x1000006u, _file->read(&f, 19000, 5000, 0, &got, back.data(), &attr));
    EXPECT_EQ(1000u, got);
    log = _node->log();
    EXPECT_EQ(2, countLines(log, "lookup vfs=100"));
    EXPECT_EQ(1, countLines(log, "read vfs=100 offset=16384 count=3616"));

    // A directory of 300 names of 40 bytes: several replies, every name once, in order.
    tolm_fid_t big;
    ASSERT_EQ(0u, _dir->mkDir(&_root, "big", &set, &big, nullptr, 0));
    std::vector<std::string> names;
    for (int i = 0; i < 300; i++) {
        char name[64];
        snprintf(name, sizeof name, "%03d-name-of-forty-bytes-exactly-xxxxxxxx", i);
        names.push_back(name);
        ASSERT_EQ(40u, names.back().size());
        makeFile(big, name);
    }
    std::vector<std::string> seen;
    uint32_t count = 0;
    EXPECT_EQ(0x1000006u, _dir->readDir(
                              &big, 0, &count, nullptr,
                              [](void* arg, const char* name, uint32_t, uint32_t, uint32_t) {
                                  static_cast<std::vector<std::string>*>(arg)->push_back(name);
                                  return 0;
                              },
                              &seen));
    EXPECT_EQ(names, seen);
    EXPECT_EQ(300u, count);
    EXPECT_LT(1, countLines(_node->log(), "readDir vfs=100"));

    // Removal: a file, then a directory that is not empty, then empty.
    tolm_attr_t dirAttr;
    EXPECT_EQ(0x200010Au, _file->remove(&_root, "host", &dirAttr)) << "not a regular file";
    EXPECT_EQ(0x200010Du, _dir->rmDir(&_root, "host", &dirAttr));
    EXPECT_EQ(0u, _file->remove(&host, "nblade", &dirAttr));
    EXPECT_EQ(0u, _dir->rmDir(&_root, "host", &dirAttr));
    struct stat st;
    EXPECT_NE(0, stat((_work + "/vol/host").c_str(), &st));
    EXPECT_EQ(0x2000102u, _file->lookup(&_root, "host", nullptr, &again));
    stop();
}

TEST_F(TolmFsSim, LinksAndMountPointsAreCrossed) {
    if (IsSkipped() || HasFailure())
        return;
    std::string vol = _work + "/vol";
    mkdir((vol + "/d").c_str(), 0755);
    ASSERT_EQ(0, symlink("d", (vol + "/rel").c_str()));
    ASSERT_EQ(0, symlink("loop2", (vol + "/loop1").c_str()));
    ASSERT_EQ(0, symlink("loop1", (vol + "/loop2").c_str()));
    ASSERT_EQ(0, symlink("@vfs:second", (vol + "/other").c_str()));
    std::ofstream(_work + "/second/inside") << "in the second VFS";
    std::ofstream(vol + "/d/f") << "in d";
    start();

    tolm_fid_t f;
    ASSERT_EQ(0u, _file->lookup(&_root, "rel/f", nullptr, &f));
    char buf[64];
    uint64_t got = 0;
    EXPECT_EQ(0x1000006u, _file->read(&f, 0, sizeof buf, 0, &got, buf, nullptr));
    EXPECT_EQ("in d", std::string(buf, got));

    int linksRead = countLines(_node->log(), "readLink");
    EXPECT_EQ(0x1000011u, _file->lookup(&_root, "loop1", nullptr, &f));
    EXPECT_EQ(linksRead + 254, countLines(_node->log(), "readLink"))
        << "the 255th crossing fails before its link is read";

    ASSERT_EQ(0u, _file->lookup(&_root, "other/inside", nullptr, &f));
    EXPECT_EQ(200u, f.vfs);
    EXPECT_EQ(0x1000006u, _file->read(&f, 0, sizeof buf, 0, &got, buf, nullptr));
    EXPECT_EQ("in the second VFS", std::string(buf, got));
    EXPECT_EQ(1, countLines(_node->log(), "vldb mount_lookup name=second"));

    // Not following: the link and the mount point themselves.
    tolm_fid_t self;
    ASSERT_EQ(0u, _file->lookup(&_root, "other", 0, nullptr, &self));
    EXPECT_EQ(100u, self.vfs);
    EXPECT_EQ(27u, self.vnode) << "a VFS root is {vfs, 27, 0}";
    tolm_fid_t otherLink;
    ASSERT_EQ(0u, _file->lookup(&_root, "rel", 0, nullptr, &otherLink));
    EXPECT_NE(27u, otherLink.vnode);
    char text[TOLM_LINK_BUFFER];
    ASSERT_EQ(0u, _file->readLink(&otherLink, nullptr, text));
    EXPECT_STREQ("d", text);
    stop();
}

TEST_F(TolmFsSim, BusyAndOfflineAreRetriedAsTheRulesSay) {
    if (IsSkipped() || HasFailure())
        return;
    start({"--fs-busy", "3"});
    tolm_attr_t attr;
    EXPECT_EQ(0u, _file->getAttr(&_root, &attr));
    EXPECT_EQ(3, countLines(_node->log(), "fault 288"));
    EXPECT_EQ(1, countLines(_node->log(), "getAttr"));
    stop();

    start({"--fs-busy", "4"});
    EXPECT_EQ(0x2000120u, _file->getAttr(&_root, &attr));
    stop();

    // Offline once: the VFS's D-blade is asked of the VLDB again, once.
    start({"--fs-offline-once"});
    int before = countLines(_node->log(), "vldb vfsid_lookup");
    EXPECT_EQ(0u, _file->getAttr(&_root, &attr));
    std::string log = _node->log();
    EXPECT_EQ(1, countLines(log, "fault 287"));
    EXPECT_EQ(before + 2, countLines(log, "vldb vfsid_lookup"))
        << "one lookup for the first try, one for the refreshed one";
    stop();

    // No such VFS once: the same.
    start({"--fs-novfs-once"});
    before = countLines(_node->log(), "vldb vfsid_lookup");
    EXPECT_EQ(0u, _file->getAttr(&_root, &attr));
    EXPECT_EQ(1, countLines(_node->log(), "fault 16"));
    EXPECT_EQ(before + 2, countLines(_node->log(), "vldb vfsid_lookup"));
    stop();
}

}  // namespace
