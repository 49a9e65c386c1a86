#include "NbladeRpcStatsCollector.h"
#include "LocalRpcClient.h"

#include <arpa/inet.h>
#include <rpc/rpc.h>

#include <cstring>

#include "SLogger.h"
#include "nbstream.h"

static bool hostIsBigEndian() {
    uint32_t check = NbladeRpcStatsCollector::ENDIAN_CHECK;
    unsigned char first;
    std::memcpy(&first, &check, 1);
    return first != 0;
}

const bool NbladeRpcStatsCollector::amBigEndian = hostIsBigEndian();

void NbladeRpcStatsCollector::convert(unsigned int* words, unsigned int count, unsigned int order) {
    bool swap = static_cast<int32_t>(order) < 0 ? !amBigEndian : amBigEndian;
    if (!swap) {
        return;
    }
    for (unsigned int i = 0; i < count; i++) {
        words[i] = __builtin_bswap32(words[i]);
    }
}

int32_t NbladeRpcStatsCollector::query(int statType, unsigned int expectedBytes,
                                       const char* mismatchFormat, nblade_data_t* record) {
    CLIENT* clnt = localTcpClient(_host.c_str(), PROGRAM, VERSION);
    if (clnt == nullptr) {
        return NO_CLIENT;
    }
    rpcStreamCifsStatsReq req;
    req.StatType = static_cast<rpcStreamCifsStatsEnum_t>(statType);
    req.DataIn = 0;
    rpcStreamCifsStatsRes res;
    std::memset(&res, 0, sizeof(res));
    timeval timeout = {25, 0};
    enum clnt_stat st = clnt_call(
        clnt, PROCEDURE, reinterpret_cast<xdrproc_t>(xdr_rpcStreamCifsStatsReq),
        reinterpret_cast<caddr_t>(&req), reinterpret_cast<xdrproc_t>(xdr_rpcStreamCifsStatsRes),
        reinterpret_cast<caddr_t>(&res), timeout);
    if (st != RPC_SUCCESS) {
        clnt_destroy(clnt);
        return static_cast<int32_t>(st);
    }
    int32_t status = 0;
    if (res.error != 0) {
        status = res.error;
    } else {
        rpcStreamCifsStatsResponse& r = res.rpcStreamCifsStatsRes_u.result;
        unsigned int bytes = r.DataOut.DataOut_len * 4;
        if (bytes != expectedBytes) {
            SLogger::err(mismatchFormat, static_cast<int>(bytes), static_cast<int>(expectedBytes));
            status = SIZE_MISMATCH;
        } else {
            convert(r.DataOut.DataOut_val, r.DataOut.DataOut_len, ntohl(r.StatControlWord));
            copyCounters(r.DataOut.DataOut_val, record);
        }
    }
    clnt_freeres(clnt, reinterpret_cast<xdrproc_t>(xdr_rpcStreamCifsStatsRes),
                 reinterpret_cast<caddr_t>(&res));
    clnt_destroy(clnt);
    return status;
}
