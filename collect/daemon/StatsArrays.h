#pragma once

#include <rpc/rpc.h>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "RecordXdr.h"
#include "StatsArrayImpl.h"

typedef StatsArrayImpl<NbladeStats> NbladeStatsArray;
typedef StatsArrayImpl<DbladeStats> DbladeStatsArray;
typedef StatsArrayImpl<LpStatsSet> LpStatsSetArray;
typedef StatsArrayImpl<FcdStats> FcdStatsArray;
typedef StatsArrayImpl<MgmtProcStats> MgmtProcStatsArray;

// The array routines of the query replies; `p` is the matching StatsArrayImpl.
bool_t xdr_NbladeStatsArray(XDR* xdrs, void* p);
bool_t xdr_DbladeStatsArray(XDR* xdrs, void* p);
bool_t xdr_LpStatsSetArray(XDR* xdrs, void* p);
bool_t xdr_FcdStatsArray(XDR* xdrs, void* p);
bool_t xdr_MgmtProcStatsArray(XDR* xdrs, void* p);
