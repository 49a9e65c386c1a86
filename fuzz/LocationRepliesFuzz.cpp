// Feeds arbitrary bytes, as the XDR body of a VLDB or DLDB reply (the first
// byte picks which), to its decoder and then to what the client library takes
// from it. A damaged reply must decode to false, or to a result that frees
// cleanly and gives a status or fields inside the reply.

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "FuzzXdr.h"
#include "TolmVldb.h"
#include "dldb.h"
#include "vldb.h"

namespace {

volatile uint32_t g_sink;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t* body = data + 1;
    size_t n = size - 1;
    switch (data[0] % 4) {
        case 0:
            fuzzDecodeXdr(xdr_stream_vfsid_lookup_result, body, n,
                          [](stream_vfsid_lookup_result& r) {
                              uint32_t d = 0;
                              g_sink = TolmVldb::vfsIdAnswer(r, &d) + d;
                          });
            break;
        case 1:
            fuzzDecodeXdr(xdr_stream_mount_lookup_result, body, n,
                          [](stream_mount_lookup_result& r) {
                              uint32_t d = 0, v = 0;
                              g_sink = TolmVldb::mountAnswer(r, &d, &v) + d + v;
                          });
            break;
        case 2:
            fuzzDecodeXdr(xdr_DldbGetRes, body, n, [](DldbGetRes& r) {
                const char* host = nullptr;
                uint16_t port = 0;
                g_sink = TolmVldb::dldbAnswer(r, &host, &port) + port;
                if (host != nullptr)
                    g_sink = static_cast<uint32_t>(strlen(host));
            });
            break;
        case 3:
            fuzzDecodeXdr(xdr_vldb_record_lookup_result, body, n, [](vldb_record_lookup_result& r) {
                if (r.result == 0 && r.r.r_len > 0)
                    g_sink = r.r.r_val[r.r.r_len - 1].vfsid;
            });
            break;
    }
    return 0;
}
