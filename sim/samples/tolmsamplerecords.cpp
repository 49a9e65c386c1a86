// tolmsamplerecords DIR: writes one record file of each type ("nblade",
// "dblade", "lp", "fcd", "mgmtproc") into DIR, in the local binary form, with
// counters that look like a lightly loaded node. For the demo and the tests of
// the record tools.

#include <cstdio>
#include <cstring>
#include <string>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "FileSerializer.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "SerializationException.h"
#include "TolmVersion.h"

namespace {

constexpr unsigned int ALL = 0xffffffffu;
constexpr int32_t kCreated = 1796558400;  // 2026-12-06 12:00:00 UTC

// Every counter gets a small value derived from its position; every fourth
// stays 0 so that zero skipping shows.
class Counters {
  public:
    void fill(uint32_t& v) { v = next(); }
    void fill(int32_t& v) { v = static_cast<int32_t>(next()); }
    void fill(uint16_t& v) { v = static_cast<uint16_t>(next()); }
    void fill(uint64_t& v) { v = next() * 1000003ull; }
    void fill(success_fail_t& v) {
        fill(v.succeeded);
        v.failed = v.succeeded / 97;
    }
    template <size_t N>
    void fill(uint32_t (&a)[N]) {
        for (size_t i = 0; i < N; i++)
            a[i] = i < 12 ? static_cast<uint32_t>(300 >> i) : 0;
    }

  private:
    uint32_t next() {
        _n++;
        return _n % 4 == 0 ? 0 : _n * 37 % 1009;
    }
    uint32_t _n = 0;
};

#define SAMPLE_FILL(T, name, ...) c.fill(sub.name);

template <typename R>
void write(const std::string& dir, const char* name, R& rec) {
    std::string path = dir + "/" + name;
    FileSerializer s(path);
    rec.serialize(s);
}

template <typename R>
void writeMasked(const std::string& dir, const char* name, R& rec) {
    std::string path = dir + "/" + name;
    FileSerializer s(path);
    rec.serialize(s, ALL);
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "tolmsamplerecords"))
        return 0;
    if (argc != 2 || argv[1][0] == '-') {
        fprintf(stderr, "usage: tolmsamplerecords DIR\n");
        return argc == 2 && strcmp(argv[1], "--help") == 0 ? 0 : 1;
    }
    std::string dir = argv[1];
    Counters c;

    NbladeStats nb;
    memset(&nb.data, 0, sizeof nb.data);
    nb.data.version = 1;
    nb.data.mask = ALL;
    nb.data.timestampCreated = kCreated;
    nb.data.timestampCompleted = kCreated + 1;
#define SAMPLE_NB(bit, member, type, sname, FIELDS, Suffix) \
    {                                                       \
        auto& sub = nb.data.member;                         \
        FIELDS(SAMPLE_FILL)                                 \
    }
    NB_SUBRECORDS(SAMPLE_NB)

    DbladeStats db;
    memset(&db.data, 0, sizeof db.data);
    db.data.version = 1;
    db.data.mask = ALL;
    db.data.timestampCreated = kCreated;
    db.data.timestampCompleted = kCreated;
#define SAMPLE_DB(bit, member, type, FIELDS, Suffix) \
    {                                                \
        auto& sub = db.data.member;                  \
        FIELDS(SAMPLE_FILL)                          \
    }
#define SAMPLE_LRU(bit, member)     \
    {                               \
        auto& sub = db.data.member; \
        DB_LRU_FIELDS(SAMPLE_FILL)  \
    }
    DB_MEMBERS(SAMPLE_DB, SAMPLE_LRU)
    db.data.cpu0PctIdle = 93;
    db.data.cpu1PctIdle = 88;

    LpStatsSet lp;
    memset(&lp.data, 0, sizeof lp.data);
    {
        auto& sub = lp.data;
        sub.version = 1;
        sub.timestampCreated = kCreated;
        sub.timestampCompleted = kCreated + 1;
        LPSET_GLOBAL_FIELDS(SAMPLE_FILL)
    }
    const char* pools[] = {"lp0", "archive"};
    for (int p = 0; p < 2; p++) {
        LpStats* pool = new LpStats();
        memset(&pool->data, 0, sizeof pool->data);
        pool->name = pools[p];
        for (int i = 0; i < 16; i++)
            pool->data.uuid[i] = static_cast<unsigned char>(p * 16 + i);
        pool->data.state = 1;
        auto& sub = pool->data;
        LP_COUNTER_FIELDS(SAMPLE_FILL)
        for (int v = 0; v < 2; v++) {
            VfsStats* vfs = new VfsStats();
            memset(&vfs->data, 0, sizeof vfs->data);
            vfs->data.vfsid = static_cast<uint32_t>(1000 + p * 10 + v);
            auto& vsub = vfs->data;
            {
                auto& sub = vsub;
                VFS_COUNTER_FIELDS(SAMPLE_FILL)
            }
            pool->addVfsStats(vfs);
        }
        lp.addLpStats(pool);
    }

    FcdStats fcd;
    memset(&fcd.data, 0, sizeof fcd.data);
    {
        auto& sub = fcd.data;
        sub.version = 1;
        sub.timestampCreated = kCreated;
        sub.timestampCompleted = kCreated;
        FCD_TOTAL_FIELDS(SAMPLE_FILL)
    }
    for (uint32_t d = 0; d < 3; d++) {
        _fcdDiskStats* disk = new _fcdDiskStats();
        auto& sub = *disk;
        sub.diskType = 5;
        sub.diskID = d;
        FCD_DISK_COUNTER_FIELDS(SAMPLE_FILL)
        fcd.addDiskStats(disk);
    }

    MgmtProcStats mgmt;
    memset(&mgmt.data, 0, sizeof mgmt.data);
    mgmt.data.version = 1;
    mgmt.data.timestampCreated = kCreated;
#define SAMPLE_PROC(member, label)     \
    {                                  \
        auto& sub = mgmt.data.member;  \
        PROC_STATS_FIELDS(SAMPLE_FILL) \
    }
    MGMT_PROCESSES(SAMPLE_PROC)

    try {
        writeMasked(dir, "nblade", nb);
        writeMasked(dir, "dblade", db);
        write(dir, "lp", lp);
        write(dir, "fcd", fcd);
        writeMasked(dir, "mgmtproc", mgmt);
    } catch (SerializationException& e) {
        fprintf(stderr, "tolmsamplerecords: %s: %d\n", e.msg.c_str(), static_cast<int>(e.code));
        return 1;
    }
    return 0;
}
