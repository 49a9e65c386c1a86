#pragma once

#include <rpc/rpc.h>

#include <vector>

class NbladeStats;
class DbladeStats;
class LpStatsSet;
class FcdStats;
class MgmtProcStats;

// XDR routines of the records in RPC replies. A record travels as an XDR
// optional value: 0, or 1 followed by the record's serialized fields.
bool_t xdr_NbladeStats(XDR* xdrs, NbladeStats* rec);
bool_t xdr_DbladeStats(XDR* xdrs, DbladeStats* rec);
bool_t xdr_LpStatsSet(XDR* xdrs, LpStatsSet* rec);
bool_t xdr_FcdStats(XDR* xdrs, FcdStats* rec);
bool_t xdr_MgmtProcStats(XDR* xdrs, MgmtProcStats* rec);

// A count, then that many unsigned ints.
bool_t xdr_U32Vector(XDR* xdrs, std::vector<unsigned int>* v);
