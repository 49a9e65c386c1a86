#include "BcpNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

BcpNbladeStatsCollector::BcpNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("freeBuffersPool0",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, freeBufferPool0)));
    addLine("freeBuffersPool1",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, freeBuffersPool1)));
    addLine("freeBuffersPool2",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, freeBuffersPool2)));
    addLine("cmdsTimedOut",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, cmdsTimedOut)));
    addLine("BcpAuthenticateTim",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, authenticateTimeout)));
    addLine("BcpScpConnectTimeO",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, scpConnectTimeout)));
    addLine("BcpScpConfigTimeOu",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, scpConfigTimeout)));
    addLine("BcpRpcServicesTime",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, rpcServicesTimeout)));
    addLine("BcpSidCacheTimeOut",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, sidCacheTimeOut)));
    addLine("BcpTolmAuthTimeOut",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, tolmAuthTimeOut)));
    addLine("BcpNetGroupTimeOut",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, netGroupTimeOut)));
    addLine("BcpExportTimeOut",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, exportTimeOut)));
    addLine("BcpVldbTimeOut",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, vldbTimeOut)));
    addLine("BcpRpcGssTimeOut",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, rpcGssTimeOut)));
    addLine("BcpNoBuffersCnt",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, noBuffersCnt)));
    addLine("BcpToScpStuck",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, toScpStuck)));
    addLine("BcpToStreamStuck",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, toStreamStuck)));
    addLine("BcpAllocFailures",
            new SingleColLineDesc<unsigned int>(offsetof(nb_bcp_data_t, allocFailures)));
}

void BcpNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->bcp);
}
