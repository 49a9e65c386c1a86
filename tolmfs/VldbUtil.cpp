#include "VldbUtil.h"

#include <rpc/rpc.h>

#include <cstring>

#include "LocalRpcClient.h"
#include "RpcDeadline.h"
#include "vldb.h"

namespace {
// Match records on their VFS name.
constexpr u_int kMatchVfsname = 2;
constexpr int32_t kRpcTimeoutSecs = 25;
}  // namespace

uint32_t VldbUtil::lookupVfsid(const char* name, uint32_t& vfsid) {
    vfsid = 0;
    CLIENT* clnt = localTcpClient("localhost", VLDB_PROGRAM, VLDB_VERSION_3);
    if (!clnt)
        return static_cast<uint32_t>(-1);

    vldb_record_lookup_input in;
    memset(&in, 0, sizeof in);
    in.input_mask = kMatchVfsname;
    // A string may not be absent on the wire: the family is empty, not null.
    char empty[] = "";
    in.r.family = empty;
    in.r.vfsname = const_cast<char*>(name);
    vldb_record_lookup_result out;
    memset(&out, 0, sizeof out);
    // The whole call within the 25 seconds of its time-out, whatever the
    // VLDB sends meanwhile.
    enum clnt_stat st;
    {
        int fd = -1;
        clnt_control(clnt, CLGET_FD, reinterpret_cast<char*>(&fd));
        RpcDeadline guard(fd, RpcDeadline::after(kRpcTimeoutSecs));
        st = vldb_record_lookup_3(&in, &out, clnt);
        if (st != RPC_SUCCESS && guard.fired())
            st = RPC_TIMEDOUT;
    }
    if (st != RPC_SUCCESS) {
        clnt_destroy(clnt);
        return static_cast<uint32_t>(st);
    }
    if (out.result == 0) {
        if (out.r.r_len > 0)
            vfsid = out.r.r_val[0].vfsid;
        clnt_freeres(clnt, reinterpret_cast<xdrproc_t>(xdr_vldb_record_lookup_result),
                     reinterpret_cast<char*>(&out));
    }
    clnt_destroy(clnt);
    return 0;
}
