#include "RpcHandleSet.h"

#include "lpm.h"
#include "vol.h"

RpcHandleSet::RpcHandleSet(const char* host) : pLpmHandle(nullptr), pVolHandle(nullptr) {
    pLpmHandle = clnt_create(host, LPM_PROGRAM, LPM_VERSION, "tcp");
    if (pLpmHandle != nullptr) pVolHandle = clnt_create(host, VOL_PROGRAM, VOL_VERSION, "tcp");
}

RpcHandleSet::~RpcHandleSet() {
    if (pVolHandle != nullptr) clnt_destroy(pVolHandle);
    if (pLpmHandle != nullptr) clnt_destroy(pLpmHandle);
}
