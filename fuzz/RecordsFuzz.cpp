// Feeds arbitrary bytes to every record reader, through the XDR reader and
// through the record routines of the query replies: a damaged stream must end
// in a SerializationException or a false result, never in a crash, a leak or
// an allocation sized by a damaged count.

#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "RecordXdr.h"
#include "SerializationException.h"
#include "StatsArrays.h"
#include "XdrDeserializer.h"

namespace {

template <typename R>
void readRecord(const uint8_t* data, size_t size) {
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(const_cast<uint8_t*>(data)), size, XDR_DECODE);
    try {
        XdrDeserializer d(&x);
        R rec;
        rec.deserialize(d);
    } catch (SerializationException&) {
    }
    xdr_destroy(&x);
}

template <typename A>
void readArray(const uint8_t* data, size_t size) {
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(const_cast<uint8_t*>(data)), size, XDR_DECODE);
    A array;
    array.xdr(&x);
    xdr_destroy(&x);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t* body = data + 1;
    size_t n = size - 1;
    switch (data[0] % 8) {
        case 0:
            readRecord<NbladeStats>(body, n);
            break;
        case 1:
            readRecord<DbladeStats>(body, n);
            break;
        case 2:
            readRecord<LpStatsSet>(body, n);
            break;
        case 3:
            readRecord<FcdStats>(body, n);
            break;
        case 4:
            readRecord<MgmtProcStats>(body, n);
            break;
        case 5:
            readArray<LpStatsSetArray>(body, n);
            break;
        case 6:
            readArray<FcdStatsArray>(body, n);
            break;
        case 7: {
            XDR x;
            xdrmem_create(&x, reinterpret_cast<char*>(const_cast<uint8_t*>(body)), n, XDR_DECODE);
            std::vector<unsigned int> v;
            xdr_U32Vector(&x, &v);
            xdr_destroy(&x);
            break;
        }
    }
    return 0;
}
