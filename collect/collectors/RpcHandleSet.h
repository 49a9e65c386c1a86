#pragma once

#include <rpc/rpc.h>

// The client handles of one storage-pool collection: the storage-pool manager
// and, only when that one could be made, the volume service.
class RpcHandleSet {
public:
    explicit RpcHandleSet(const char* host);
    ~RpcHandleSet();
    RpcHandleSet(const RpcHandleSet&) = delete;
    RpcHandleSet& operator=(const RpcHandleSet&) = delete;

    CLIENT* pLpmHandle;
    CLIENT* pVolHandle;
};
