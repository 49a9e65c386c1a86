// Feeds arbitrary bytes, as the XDR body of a reply, to the decoder of every
// reply the collectors take from the node's services (the first byte picks
// it): stream statistics, storage pools, volumes and FCD. A damaged reply must
// decode to false, or to a result that frees cleanly.

#include <cstddef>
#include <cstdint>

#include "FuzzXdr.h"
#include "fcd.h"
#include "lpm.h"
#include "nbstream.h"
#include "vol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t* body = data + 1;
    size_t n = size - 1;
    switch (data[0] % 6) {
        case 0:
            fuzzDecodeXdr(xdr_rpcStreamCifsStatsRes, body, n);
            break;
        case 1:
            fuzzDecodeXdr(xdr_LPGetAllOut, body, n);
            break;
        case 2:
            fuzzDecodeXdr(xdr_LPVFSListOut, body, n);
            break;
        case 3:
            fuzzDecodeXdr(xdr_LPStats64Out, body, n);
            break;
        case 4:
            fuzzDecodeXdr(xdr_VolGetStatsOut64_v2_t, body, n);
            break;
        case 5:
            if (n > 0 && body[0] & 1)
                fuzzDecodeXdr(xdr_Fcd_diskStatListResponse_t, body + 1, n - 1);
            else
                fuzzDecodeXdr(xdr_Fcd_getStats64Result_t, body, n);
            break;
    }
    return 0;
}
