// Feeds arbitrary bytes, as the XDR body of a reply, to the decoder of every
// reply the collectors take from the node's services (the first byte picks
// it): stream statistics, storage pools, volumes and FCD. A damaged reply must
// decode to false, or to a result that frees cleanly.

#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fcd.h"
#include "lpm.h"
#include "nbstream.h"
#include "vol.h"

namespace {

template <typename T>
void decode(bool_t (*routine)(XDR*, T*), const uint8_t* data, size_t size) {
    T result;
    memset(&result, 0, sizeof result);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(const_cast<uint8_t*>(data)), static_cast<u_int>(size),
                  XDR_DECODE);
    routine(&x, &result);
    xdr_destroy(&x);
    xdr_free(reinterpret_cast<xdrproc_t>(routine), reinterpret_cast<char*>(&result));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t* body = data + 1;
    size_t n = size - 1;
    switch (data[0] % 6) {
        case 0:
            decode(xdr_rpcStreamCifsStatsRes, body, n);
            break;
        case 1:
            decode(xdr_LPGetAllOut, body, n);
            break;
        case 2:
            decode(xdr_LPVFSListOut, body, n);
            break;
        case 3:
            decode(xdr_LPStats64Out, body, n);
            break;
        case 4:
            decode(xdr_VolGetStatsOut64_v2_t, body, n);
            break;
        case 5:
            if (n > 0 && body[0] & 1)
                decode(xdr_Fcd_diskStatListResponse_t, body + 1, n - 1);
            else
                decode(xdr_Fcd_getStats64Result_t, body, n);
            break;
    }
    return 0;
}
