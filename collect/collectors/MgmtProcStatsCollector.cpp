#include "MgmtProcStatsCollector.h"

#include <cstring>
#include <ctime>

#include "ProcSet.h"

MgmtProcStatsCollector MgmtProcStatsCollector::_instance;

MgmtProcStats* MgmtProcStatsCollector::collect(const char* procRoot) {
    MgmtProcStats* rec = new MgmtProcStats();
    memset(&rec->data, 0, sizeof(rec->data));
    rec->data.version = 1;
    rec->data.timestampCreated = static_cast<int32_t>(time(nullptr));
    ProcSet procs(_instance.parser, procRoot);
    // Each section is named by the process it describes.
#define MGMT_COPY(member, processName)                                 \
    if (const _ProcInfo* info = procs.get(processName)) rec->data.member = info->stats;
    MGMT_PROCESSES(MGMT_COPY)
#undef MGMT_COPY
    return rec;
}
