// The D-blade collectors: the copy of the kernel block into the record, the
// control file, and the simulated module's request handling.

#include <gtest/gtest.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

#include "DbladeIoctl.h"
#include "DbladeStatsCollector.h"
#include "RecordTestUtil.h"
#include "SimDbladeBlock.h"

namespace {

struct Field {
    const char* name;
    size_t offset;  // within the sub-record
    size_t size;
};

#define DB_TEST_FIELD(type, name, ...) {#name, offsetof(Struct, name), sizeof(type)},
template <typename Struct>
struct Fields;
#define DB_TEST_FIELDS(type, sname, FIELDS)                      \
    template <>                                                  \
    struct Fields<type> {                                        \
        typedef type Struct;                                     \
        static std::vector<Field> list() { return {FIELDS(DB_TEST_FIELD)}; } \
    };
DB_STRUCTS(DB_TEST_FIELDS)
#undef DB_TEST_FIELDS

// Where a record section comes from in the kernel block: runs of (kernel
// offset, bytes), filled field after field in the record's order.
struct Run {
    size_t kernel;
    size_t bytes;
};

// Checks every field of `section` (at `sectionBase` in the record) against
// the block read in the record's field order over `runs`.
void expectSection(const char* what, const unsigned char* sectionBase,
                   const std::vector<Field>& fields, const unsigned char* block,
                   const std::vector<Run>& runs) {
    size_t run = 0, used = 0, total = 0;
    for (const Field& f : fields) {
        ASSERT_LT(run, runs.size()) << what << " has more fields than its runs hold";
        const unsigned char* from = block + runs[run].kernel + used;
        EXPECT_EQ(0, memcmp(sectionBase + f.offset, from, f.size))
            << what << "." << f.name << " (kernel byte " << runs[run].kernel + used << ")";
        used += f.size;
        total += f.size;
        if (used == runs[run].bytes) {
            run++;
            used = 0;
        }
    }
    EXPECT_EQ(run, runs.size()) << what << ": the runs are not used up";
    size_t runBytes = 0;
    for (const Run& r : runs) runBytes += r.bytes;
    EXPECT_EQ(total, runBytes) << what;
}

template <typename T>
void expectSection(const char* what, const T& section, const unsigned char* block,
                   const std::vector<Run>& runs) {
    expectSection(what, reinterpret_cast<const unsigned char*>(&section), Fields<T>::list(), block,
                  runs);
}

std::vector<unsigned char> distinctBlock() {
    std::vector<unsigned char> block(DBLADE_MAIN_STATS_SIZE);
    for (uint32_t w = 0; w < DBLADE_MAIN_STATS_SIZE / 4; w++) {
        uint32_t v = 0x40000000u + w * 0x10001u;
        memcpy(&block[w * 4], &v, 4);
    }
    return block;
}

}  // namespace

TEST(DbladeCollector, EveryKernelWordLandsInItsField) {
    std::vector<unsigned char> block = distinctBlock();
    // Entry 0 of the operation counters carries a marker found nowhere else.
    const uint64_t marker = 0x5A5A5A5A12345678ull;
    memcpy(&block[652], &marker, 8);
    const uint64_t five = 5;
    memcpy(&block[660], &five, 8);

    dblade_data_t rec;
    memset(&rec, 0, sizeof(rec));
    DbladeFileStatsCollector::copyBlock(block.data(), &rec);
    const unsigned char* b = block.data();

    expectSection("rf", rec.rf, b, {{0, 32}});
    expectSection("bmap", rec.bmap, b, {{32, 188}, {1216, 24}});
    expectSection("pio", rec.pio, b, {{220, 16}});
    expectSection("normalInodeLru", rec.normalInodeLru, b, {{236, 36}});
    expectSection("readdirLru", rec.readdirLru, b, {{272, 36}});
    expectSection("smallFileLru", rec.smallFileLru, b, {{308, 36}});
    expectSection("largeFileLru", rec.largeFileLru, b, {{344, 36}});
    expectSection("directoryLru", rec.directoryLru, b, {{380, 36}});
    expectSection("metaDataLru", rec.metaDataLru, b, {{416, 36}});
    expectSection("directoryCache", rec.directoryCache, b, {{452, 12}});
    expectSection("bmapBackup", rec.bmapBackup, b, {{464, 60}, {1140, 12}});
    expectSection("failover", rec.failover, b, {{524, 104}});
    // The inode section: the nine data-mover figures first, then the
    // operation counters from entry 1 on (the last one is the word after the
    // kernel's array).
    expectSection("inode", rec.inode, b, {{1004, 72}, {660, 352}});
    expectSection("volRestore", rec.volRestore, b, {{1076, 56}, {1244, 4}});
    expectSection("failoverNC", rec.failoverNC, b, {{1152, 12}, {1184, 24}});
    expectSection("krqm", rec.krqm, b, {{1240, 2}});
    EXPECT_EQ(0, memcmp(&rec.cpu0PctIdle, b + 1132, 4));
    EXPECT_EQ(0, memcmp(&rec.cpu1PctIdle, b + 1136, 4));

    EXPECT_EQ(rec.inode.getAttrCounter, 5u);
    const unsigned char* r = reinterpret_cast<const unsigned char*>(&rec);
    for (size_t i = 0; i + 8 <= sizeof(rec); i++)
        ASSERT_NE(0, memcmp(r + i, &marker, 8)) << "entry 0 of the counters landed at " << i;
    // The 16-bit krqm takes two bytes only.
    EXPECT_EQ(rec.krqm.maxRnums, static_cast<uint16_t>(block[1240] | (block[1241] << 8)));
}

TEST(DbladeCollector, ControlFileMissingOrNotAModule) {
    ScratchDir dir;
    // No control file: the header and zeros.
    DbladeStatsCollector missing(dir.file("none").c_str());
    DbladeStats stats;
    memset(&stats.data, 0xee, sizeof(stats.data));
    missing.populate(&stats.data);
    EXPECT_EQ(stats.data.version, 1u);
    EXPECT_EQ(stats.data.mask, 0xFFFFFFFFu);
    EXPECT_GT(stats.data.timestampCreated, 0);
    EXPECT_LE(stats.data.timestampCreated, stats.data.timestampCompleted);
    EXPECT_EQ(stats.data.inode.getAttrCounter, 0u);
    EXPECT_EQ(stats.data.cpu1PctIdle, 0);
    EXPECT_EQ(stats.data.rf.txStalls, 0);

    // A plain file opens but refuses the request: the zeroed block is copied.
    writeFile(dir.file("plain"), Bytes(2000, 0x77));
    DbladeStatsCollector plain(dir.file("plain").c_str());
    memset(&stats.data, 0xee, sizeof(stats.data));
    plain.populate(&stats.data);
    EXPECT_EQ(stats.data.version, 1u);
    EXPECT_EQ(stats.data.bmap.dreads, 0u);
    EXPECT_EQ(stats.data.krqm.maxRnums, 0u);
    EXPECT_EQ(stats.data.cpu0PctIdle, 0);
}

TEST(SimDbladeBlock, ServesTheRequestFromTheBlockFile) {
    ScratchDir dir;
    std::string path = dir.file("tolmdblade");
    ASSERT_TRUE(SimDbladeBlock::write(path, 3));
    unsigned char buf[DBLADE_MAIN_STATS_SIZE];
    memset(buf, 0, sizeof(buf));
    _dbladeIoctlArg inner = {DBLADE_MAIN_STATS_BLOCK, buf};
    _dbladeIoctlArg outer = {DBLADE_STATS_AREA, &inner};
    ASSERT_EQ(0, SimDbladeBlock::serveIoctl(path.c_str(), DBLADE_STATS_IOCTL, &outer));
    EXPECT_EQ(Bytes(buf, buf + sizeof(buf)), readFile(path));
    uint32_t w10;
    memcpy(&w10, buf + 40, 4);
    EXPECT_EQ(w10, SimDbladeBlock::wordValue(10, 3));

    // The copied block through the collector's copy: idle percentages from
    // the non-cumulative part.
    dblade_data_t rec;
    memset(&rec, 0, sizeof(rec));
    DbladeFileStatsCollector::copyBlock(buf, &rec);
    EXPECT_EQ(rec.cpu0PctIdle, 63);
    EXPECT_EQ(rec.cpu1PctIdle, 78);

    // Wrong request, wrong selectors, short block file.
    errno = 0;
    EXPECT_EQ(-1, SimDbladeBlock::serveIoctl(path.c_str(), 0x89F1, &outer));
    EXPECT_EQ(errno, EINVAL);
    outer.selector = 3;
    EXPECT_EQ(-1, SimDbladeBlock::serveIoctl(path.c_str(), DBLADE_STATS_IOCTL, &outer));
    outer.selector = DBLADE_STATS_AREA;
    inner.selector = 99;
    EXPECT_EQ(-1, SimDbladeBlock::serveIoctl(path.c_str(), DBLADE_STATS_IOCTL, &outer));
    inner.selector = DBLADE_MAIN_STATS_BLOCK;
    writeFile(path, Bytes(100, 1));
    errno = 0;
    EXPECT_EQ(-1, SimDbladeBlock::serveIoctl(path.c_str(), DBLADE_STATS_IOCTL, &outer));
    EXPECT_EQ(errno, EIO);
}
