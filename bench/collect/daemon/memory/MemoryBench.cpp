// Resident memory of the snapshot history: the collection loop fills both
// rings with 1000 snapshots of realistic records (4 pools of 8 volumes, 16
// disks), and the growth of the process's resident set is compared with the
// bytes of the records it holds (their in-memory sizes and their file forms).

#include <atomic>
#include <condition_variable>
#include <thread>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>

#include "CollectionEnv.h"
#include "CollectorConfig.h"
#include "CollectorMain.h"
#include "RecordTestUtil.h"
#include "Snapshot.h"

namespace {

long residentKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return -1;
}

class FullEnv : public CollectionEnv {
public:
    explicit FullEnv(int total) : _total(total), _f(7) {}
    Snapshot* takeSnapshot() override {
        auto* nb = new NbladeStats();
        fillNblade(*nb, _f);
        auto* db = new DbladeStats();
        fillDblade(*db, _f);
        auto* lp = new LpStatsSet();
        fillLpSetData(*lp, _f);
        for (int i = 0; i < 4; i++) lp->addLpStats(makeLp(_f, "pool" + std::to_string(i), 8));
        auto* fcd = new FcdStats();
        fillFcdData(*fcd, _f);
        for (int i = 0; i < 16; i++) fcd->addDiskStats(makeDisk(_f));
        auto* m = new MgmtProcStats();
        fillMgmt(*m, _f);
        if (++_taken == _total) {
            while (!main.load()) std::this_thread::yield();
            main.load()->shutdown();
        }
        return new Snapshot(_taken, nb, db, lp, fcd, m);
    }
    std::atomic<CollectorMain*> main{nullptr};
    size_t memoryBytes() const {
        return sizeof(NbladeStats) + sizeof(DbladeStats) + sizeof(LpStatsSet) +
               4 * (sizeof(LpStats) + 8 * sizeof(VfsStats)) + sizeof(FcdStats) +
               16 * sizeof(_fcdDiskStats) + sizeof(MgmtProcStats);
    }

private:
    int _total;
    int _taken = 0;
    Filler _f;
};

}  // namespace

int main() {
    const int kSnapshots = 1000;
    std::string name = "tolm.stats_";
    CollectorConfig config(name);
    config.baseCollectionPeriod = 0;
    config.persistSampleRate = 0;
    config.shortRingSize = 875;  // with longSampleRate 8: 875 short, 125 long
    config.longRingSize = 125;
    config.initialize();
    FullEnv env(kSnapshots);
    long before = residentKb();
    CollectorMain m(config, &env);
    env.main = &m;
    m.waitToComplete();
    long after = residentKb();
    std::vector<unsigned int> ts;
    m.getTimestamps(ts);

    // The file form of one snapshot's records.
    Snapshot* s = m.getLatestSnapshot();
    ScratchDir dir;
    size_t fileBytesPer = 0;
    auto add = [&](auto&& body) { fileBytesPer += fileBytes(dir, body).size(); };
    add([&](Serializer& ser) { s->nblade()->serialize(ser, ~0u); });
    add([&](Serializer& ser) { s->dblade()->serialize(ser, ~0u); });
    add([&](Serializer& ser) { s->lps()->serialize(ser); });
    add([&](Serializer& ser) { s->fcds()->serialize(ser); });
    add([&](Serializer& ser) { s->mgmt()->serialize(ser, ~0u); });
    s->release();

    double grownBytes = static_cast<double>(after - before) * 1024;
    double recordBytes = static_cast<double>(env.memoryBytes()) * ts.size();
    printf("snapshots held              %zu\n", ts.size());
    printf("resident growth             %.1f MiB\n", grownBytes / (1 << 20));
    printf("record structs held         %.1f MiB (%zu bytes per snapshot)\n",
           recordBytes / (1 << 20), env.memoryBytes());
    printf("record file forms           %.1f MiB (%zu bytes per snapshot)\n",
           static_cast<double>(fileBytesPer) * ts.size() / (1 << 20), fileBytesPer);
    printf("ratio resident / structs    %.2f\n", grownBytes / recordBytes);
    return 0;
}
