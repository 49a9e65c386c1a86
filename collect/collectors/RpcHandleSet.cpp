#include "RpcHandleSet.h"

#include "LocalRpcClient.h"
#include "lpm.h"
#include "vol.h"

RpcHandleSet::RpcHandleSet(const char* host) : pLpmHandle(nullptr), pVolHandle(nullptr) {
    pLpmHandle = localTcpClient(host, LPM_PROGRAM, LPM_VERSION);
    if (pLpmHandle != nullptr) pVolHandle = localTcpClient(host, VOL_PROGRAM, VOL_VERSION);
}

RpcHandleSet::~RpcHandleSet() {
    if (pVolHandle != nullptr) clnt_destroy(pVolHandle);
    if (pLpmHandle != nullptr) clnt_destroy(pLpmHandle);
}
