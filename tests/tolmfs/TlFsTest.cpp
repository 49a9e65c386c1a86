// The cluster file objects and serializers against tolmnodesim (its VLDB,
// DLDB and D-blade file service over Rf), in a private network namespace;
// the D-blade's request log and the backing directory show what happened.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "SerializationException.h"
#include "SimVolume.h"
#include "SnapDir.h"
#include "StatsDirMgr.h"
#include "TlConnection.h"
#include "TlDeserializer.h"
#include "TlDirEntArray.h"
#include "TlDirectory.h"
#include "TlFile.h"
#include "TlSerializer.h"

namespace {

class TlFs : public testing::Test {
  protected:
    void SetUp() override {
        if (!inNamespace()) {
            if (!HasFailure())
                GTEST_SKIP() << "no private network namespace";
            return;
        }
        char pattern[] = "/tmp/tlfs.XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        _work = pattern;
        _vol = _work + "/vol";
        mkdir(_vol.c_str(), 0755);
        _node = std::make_unique<NodeSim>(_work, std::vector<std::string>{});
        ASSERT_TRUE(_node->ready());
        _conn = new TlConnection();
        ASSERT_EQ(0u, _conn->setupStatus());
        ASSERT_EQ(0u, _conn->getRoot(100, &_root));
    }
    void TearDown() override {
        if (_root != nullptr)
            _root->release();
        if (_conn != nullptr)
            _conn->release();
        _node.reset();
        if (!_work.empty())
            system(("rm -rf " + _work).c_str());
    }
    TlFile* file(const char* name) {
        TlFile* f = nullptr;
        EXPECT_EQ(0u, _root->getFile(name, true, &f));
        return f;
    }
    int writes() { return countLines(_node->log(), "write "); }

    std::string _work;
    std::string _vol;
    std::unique_ptr<NodeSim> _node;
    TlConnection* _conn = nullptr;
    TlDirectory* _root = nullptr;
};

TEST_F(TlFs, SerializerBuffersAndGoesStraightToTheFile) {
    if (IsSkipped() || HasFailure())
        return;
    TlFile* f = file("ser");
    ASSERT_NE(nullptr, f);
    {
        TlSerializer s(f, 16);
        s.write32(0x04030201);
        s.write16(0x0605);
        EXPECT_EQ(0, writes()) << "small values wait in the buffer";
        // 10 bytes free: a buffer of exactly 10 flushes, then goes straight.
        unsigned char ten[10] = {7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
        s.writeBuffer(ten, 10);
        EXPECT_EQ(1, countLines(_node->log(), "write vfs=100 offset=0 count=6"));
        EXPECT_EQ(1, countLines(_node->log(), "write vfs=100 offset=6 count=10"));
        unsigned char three[3] = {17, 18, 19};
        s.writeBuffer(three, 3);
        s.write64(0x1716151413121110ULL);
        s.close();
    }
    std::string bytes = slurp(_vol + "/ser");
    ASSERT_EQ(27u, bytes.size());
    const unsigned char expected[27] = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14,
                                        15, 16, 17, 18, 19, 16, 17, 18, 19, 20, 21, 22, 23};
    EXPECT_EQ(0, memcmp(expected, bytes.data(), 27)) << "the host's byte order, as in memory";

    // Without close the buffered tail is lost.
    {
        TlSerializer s(f, 64);
        s.write32(0xFFFFFFFF);
    }
    EXPECT_EQ(27u, slurp(_vol + "/ser").size());
    f->release();
}

TEST_F(TlFs, AFailedFlushKeepsItsBytes) {
    if (IsSkipped() || HasFailure())
        return;
    TlFile* f = file("keep");
    ASSERT_NE(nullptr, f);
    TlSerializer s(f, 64);
    s.write32(0x44434241);
    // The file goes away under the D-blade: the write fails.
    ASSERT_EQ(0, unlink((_vol + "/keep").c_str()));
    try {
        s.flush();
        ADD_FAILURE() << "no exception";
    } catch (const SerializationException& e) {
        EXPECT_EQ("Write failed", e.msg);
        EXPECT_EQ(0x2000102u, e.code);
    }
    // Back again: the kept bytes are written by the next flush.
    std::ofstream(_vol + "/keep").close();
    s.close();
    EXPECT_EQ("ABCD", slurp(_vol + "/keep"));
    f->release();
}

TEST_F(TlFs, DeserializerReadsToTheEndAndNoFurther) {
    if (IsSkipped() || HasFailure())
        return;
    std::ofstream(_vol + "/ten") << "0123456789";
    TlFile* f = nullptr;
    ASSERT_EQ(0u, _root->getFile("ten", false, &f));
    {
        TlDeserializer d(f, 4096);
        EXPECT_EQ(0x33323130u, d.read32());
        EXPECT_EQ(0x37363534u, d.read32());
        try {
            d.read32();
            ADD_FAILURE() << "no exception";
        } catch (const SerializationException& e) {
            EXPECT_EQ("Read past EOF", e.msg);
            EXPECT_EQ(0u, e.code);
        }
        d.reset();
        EXPECT_EQ('0', d.read8());
        EXPECT_EQ(0x3231u, d.read16());
    }
    f->reset();  // the deserializers read at the file's own offset
    {
        TlDeserializer d(f, 4);  // a buffer smaller than the file: several reads
        unsigned char buf[100];
        EXPECT_EQ(10u, d.readBuffer(buf, 100));
        EXPECT_EQ(0, memcmp(buf, "0123456789", 10));
        EXPECT_EQ(0u, d.readBuffer(buf, 100));
    }
    f->release();
}

TEST_F(TlFs, GettingObjectsAndRemovingTrees) {
    if (IsSkipped() || HasFailure())
        return;
    std::ofstream(_vol + "/plain") << "x";
    // A directory object for a file: no type check.
    TlDirectory* d = nullptr;
    ASSERT_EQ(0u, _root->getDirectory("plain", true, &d));
    EXPECT_EQ("/plain", d->getPath());
    EXPECT_EQ(1, d->getAttrs().filetype) << "a regular file, as the D-blade reports it";
    d->release();
    TlFile* f = nullptr;
    EXPECT_EQ(0x2000102u, _root->getFile("missing", false, &f));
    EXPECT_EQ(nullptr, f);
    EXPECT_EQ(0, countLines(_node->log(), "create"));

    // a/b/c with files at each level.
    TlDirectory* a = nullptr;
    TlDirectory* b = nullptr;
    TlDirectory* c = nullptr;
    ASSERT_EQ(0u, _root->getDirectory("a", true, &a));
    ASSERT_EQ(0u, a->getDirectory("b", true, &b));
    ASSERT_EQ(0u, b->getDirectory("c", true, &c));
    EXPECT_EQ("/a/b/c", c->getPath());
    for (TlDirectory* dir : {a, b, c}) {
        for (const char* name : {"f1", "f2"}) {
            ASSERT_EQ(0u, dir->getFile(name, true, &f));
            f->release();
        }
    }
    TlDirEntArray* list = nullptr;
    ASSERT_EQ(0u, c->enumDirectory(&list));
    EXPECT_EQ(2u, list->length());
    delete list;
    TlDirectory* empty = nullptr;
    ASSERT_EQ(0u, _root->getDirectory("empty", true, &empty));
    ASSERT_EQ(0u, empty->enumDirectory(&list));
    EXPECT_EQ(0u, list->length());
    delete list;
    empty->release();
    c->release();
    b->release();
    a->release();

    int before = static_cast<int>(_node->log().size());
    ASSERT_EQ(0u, _root->removeDir("a", true));
    std::string log = _node->log().substr(static_cast<size_t>(before));
    // Each level: its files go first, then its subdirectory (deepest first).
    std::vector<std::string> order;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, 7, "remove ") == 0 || line.compare(0, 6, "rmDir ") == 0)
            order.push_back(line.substr(0, line.find(' ')) + " " +
                            line.substr(line.rfind('=') + 1));
    std::vector<std::string> expected = {"remove b",  "remove f1", "remove f2", "remove c",
                                         "remove f1", "remove f2", "remove f1", "remove f2",
                                         "rmDir c",   "rmDir b",   "rmDir a"};
    EXPECT_EQ(expected, order) << log;
    struct stat st;
    EXPECT_NE(0, stat((_vol + "/a").c_str(), &st));
}

TEST_F(TlFs, TimestampDirectoriesArePrunedAndRewrittenFilesCut) {
    if (IsSkipped() || HasFailure())
        return;
    char host[256];
    gethostname(host, sizeof host);
    std::string hostDir = _vol + "/" + host;
    mkdir(hostDir.c_str(), 0755);
    // Old timestamp directories, and names that are not theirs.
    for (const char* name : {"20200101-000001", "20200101-000002", "20200101-000003",
                             "abcdefghijklmno", "x20200101-00000", "20200101-00000", "notes"})
        mkdir((hostDir + "/" + name).c_str(), 0755);
    std::ofstream(hostDir + "/20200101-000001/nblade") << "old";
    // The directory manager has a connection of its own (one per process).
    _root->release();
    _root = nullptr;
    _conn->release();
    _conn = nullptr;

    StatsDirMgr mgr("tolm.stats_", 2);
    SnapDir* snap = mgr.getSnapDir();
    ASSERT_NE(nullptr, snap);
    std::vector<std::string> left;
    for (const char* name : {"20200101-000001", "20200101-000002", "20200101-000003",
                             "abcdefghijklmno", "x20200101-00000", "20200101-00000", "notes"}) {
        struct stat st;
        if (stat((hostDir + "/" + name).c_str(), &st) == 0)
            left.push_back(name);
    }
    // Two kept: the newest old one and the new one; the others stay untouched.
    EXPECT_EQ((std::vector<std::string>{"20200101-000003", "abcdefghijklmno", "x20200101-00000",
                                        "20200101-00000", "notes"}),
              left);
    std::string stampDir = _vol + snap->directory()->getPath();

    // A file written again shorter: no old bytes after its end.
    for (const char* content : {"a longer first content", "short"}) {
        TlSerializer* s = snap->getSerializer("nblade");
        s->writeBuffer(reinterpret_cast<unsigned char*>(const_cast<char*>(content)),
                       static_cast<int>(strlen(content)));
        s->close();
        s->cutToWritten();
        delete s;
    }
    EXPECT_EQ("short", slurp(stampDir + "/nblade"));
    delete snap;
}

}  // namespace
