#include "StatsArrays.h"

bool_t xdr_NbladeStatsArray(XDR* xdrs, void* p) {
    return static_cast<NbladeStatsArray*>(p)->xdr(xdrs);
}
bool_t xdr_DbladeStatsArray(XDR* xdrs, void* p) {
    return static_cast<DbladeStatsArray*>(p)->xdr(xdrs);
}
bool_t xdr_LpStatsSetArray(XDR* xdrs, void* p) {
    return static_cast<LpStatsSetArray*>(p)->xdr(xdrs);
}
bool_t xdr_FcdStatsArray(XDR* xdrs, void* p) { return static_cast<FcdStatsArray*>(p)->xdr(xdrs); }
bool_t xdr_MgmtProcStatsArray(XDR* xdrs, void* p) {
    return static_cast<MgmtProcStatsArray*>(p)->xdr(xdrs);
}
