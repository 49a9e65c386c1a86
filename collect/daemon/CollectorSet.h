#pragma once

class NbladeStats;
class DbladeStats;
class LpStatsSet;
class FcdStats;
class MgmtProcStats;

// The five collector entry points a collecting Snapshot calls, in this order.
// Each returns a newly allocated record that the snapshot owns. The daemon
// uses node(), the node's real collectors; tests give their own.
struct CollectorSet {
    NbladeStats* (*nblade)();
    DbladeStats* (*dblade)();
    LpStatsSet* (*lps)();
    FcdStats* (*fcds)();
    MgmtProcStats* (*mgmt)();

    static const CollectorSet& node();
};
