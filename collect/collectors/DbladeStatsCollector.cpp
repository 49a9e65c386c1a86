#include "DbladeStatsCollector.h"

#include <cstring>
#include <ctime>

DbladeStatsCollector* DbladeStatsCollector::instance = nullptr;

DbladeStats* DbladeStatsCollector::collect() {
    // Only the collection thread comes here, so the instance needs no lock.
    if (instance == nullptr) instance = new DbladeStatsCollector();
    DbladeStats* stats = new DbladeStats();
    instance->populate(&stats->data);
    return stats;
}

void DbladeStatsCollector::populate(_dbData* record) {
    memset(record, 0, sizeof(*record));
    record->version = 1;
    record->mask = 0xFFFFFFFF;
    record->timestampCreated = static_cast<int32_t>(time(nullptr));
    dblade.populate(record);
    record->timestampCompleted = static_cast<int32_t>(time(nullptr));
}
