#pragma once

#include "MgmtProcStats.h"
#include "TokenSetParser.h"

// The top-level collector of the management-process record: the memory use
// of Tomcat, vldb, hamgr, tolmauthd and the daemon itself, found by name. One
// static instance lives for the whole run, so its parser's buffer does too.
class MgmtProcStatsCollector {
public:
    // A new record owned by the caller; the processes are looked up under
    // `procRoot`.
    static MgmtProcStats* collect(const char* procRoot = "/proc");

    TokenSetParser parser;

private:
    static MgmtProcStatsCollector _instance;
};
