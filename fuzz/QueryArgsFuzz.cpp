// Feeds arbitrary bytes, as one call message to the query service (the RPC
// header, then the arguments), through the server's own dispatch, over a
// transport of this file's: the header is decoded as the RPC library's service
// loop decodes it, the procedure's arguments from the same stream, and the
// reply is encoded into a sink. Any call must end in a reply or an RPC error,
// never a crash.

#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"
#include "TolmStatsSvr.h"

namespace {

// A short history with every record type, timestamps 100 to 102.
class SmallHistory : public SnapshotProvider {
  public:
    SmallHistory() : _ring(-1) {
        for (int32_t t = 100; t < 103; t++) {
            LpStatsSet* lps = new LpStatsSet();
            Snapshot* s = new Snapshot(t, new NbladeStats(), new DbladeStats(), lps, new FcdStats(),
                                       new MgmtProcStats());
            _ring.add(s);
            s->release();
        }
    }
    SnapshotRing* getAllSnapshots() override { return new SnapshotRing(_ring); }
    Snapshot* getEarliestSnapshot() override { return _ring.earliest(); }
    Snapshot* getLatestSnapshot() override { return _ring.latest(); }
    Snapshot* getSnapshot(long t) override { return _ring.find(t); }
    void getTimestamps(std::vector<unsigned int>& out) override {
        out.clear();
        _ring.populateTimestamps(out);
    }

  private:
    SnapshotRing _ring;
};

XDR g_in;
std::vector<char> g_sink(1 << 20);

bool_t getArgs(SVCXPRT*, xdrproc_t routine, void* where) {
    return routine(&g_in, where);
}

bool_t freeArgs(SVCXPRT*, xdrproc_t routine, void* where) {
    XDR x;
    x.x_op = XDR_FREE;
    return routine(&x, where);
}

bool_t reply(SVCXPRT*, rpc_msg* msg) {
    XDR out;
    xdrmem_create(&out, g_sink.data(), static_cast<u_int>(g_sink.size()), XDR_ENCODE);
    bool_t ok = xdr_replymsg(&out, msg);
    xdr_destroy(&out);
    return ok;
}

// The operations table's type is only named inside SVCXPRT, behind its member.
using TransportOps = std::remove_const_t<std::remove_pointer_t<decltype(SVCXPRT::xp_ops)>>;
const TransportOps kOps = {nullptr, nullptr, getArgs, reply, freeArgs, nullptr};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static SmallHistory history;
    TolmStatsSvr::attachProvider(&history);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    xdrmem_create(&g_in, reinterpret_cast<char*>(const_cast<uint8_t*>(data)),
                  static_cast<u_int>(size), XDR_DECODE);
    rpc_msg call = {};
    char credArea[3 * MAX_AUTH_BYTES];
    call.rm_call.cb_cred.oa_base = credArea;
    call.rm_call.cb_verf.oa_base = credArea + MAX_AUTH_BYTES;
    if (xdr_callmsg(&g_in, &call) && call.rm_direction == CALL &&
        call.rm_call.cb_prog == RPCPROG_TOLMSTATSD &&
        call.rm_call.cb_vers == TOLMSTATS_RPC_VERSION_1) {
        SVCXPRT transport = {};
        transport.xp_fd = -1;
        transport.xp_ops = &kOps;
        svc_req request = {};
        request.rq_prog = call.rm_call.cb_prog;
        request.rq_vers = call.rm_call.cb_vers;
        request.rq_proc = call.rm_call.cb_proc;
        request.rq_cred = call.rm_call.cb_cred;
        request.rq_xprt = &transport;
        TolmStatsSvr::dispatch(&request, &transport);
    }
    xdr_destroy(&g_in);
    return 0;
}
