#pragma once

#include <rpc/rpc.h>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "RecordXdr.h"
#include "StatsArrayImpl.h"

typedef StatsArrayImpl<NbladeStats, xdr_NbladeStats> NbladeStatsArray;
typedef StatsArrayImpl<DbladeStats, xdr_DbladeStats> DbladeStatsArray;
typedef StatsArrayImpl<LpStatsSet, xdr_LpStatsSet> LpStatsSetArray;
typedef StatsArrayImpl<FcdStats, xdr_FcdStats> FcdStatsArray;
typedef StatsArrayImpl<MgmtProcStats, xdr_MgmtProcStats> MgmtProcStatsArray;

// The array routines of the query replies; `p` is the matching StatsArrayImpl.
bool_t xdr_NbladeStatsArray(XDR* xdrs, void* p);
bool_t xdr_DbladeStatsArray(XDR* xdrs, void* p);
bool_t xdr_LpStatsSetArray(XDR* xdrs, void* p);
bool_t xdr_FcdStatsArray(XDR* xdrs, void* p);
bool_t xdr_MgmtProcStatsArray(XDR* xdrs, void* p);
