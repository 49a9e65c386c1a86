#pragma once

// Decodes bytes as one XDR value with its rpcgen routine, hands a value that
// decoded to `use`, and frees it: what every fuzz target of RPC replies does.

#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

template <typename T, typename Use>
void fuzzDecodeXdr(bool_t (*routine)(XDR*, T*), const uint8_t* data, size_t size, Use use) {
    T result;
    memset(&result, 0, sizeof result);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(const_cast<uint8_t*>(data)), static_cast<u_int>(size),
                  XDR_DECODE);
    if (routine(&x, &result))
        use(result);
    xdr_destroy(&x);
    xdr_free(reinterpret_cast<xdrproc_t>(routine), reinterpret_cast<char*>(&result));
}

template <typename T>
void fuzzDecodeXdr(bool_t (*routine)(XDR*, T*), const uint8_t* data, size_t size) {
    fuzzDecodeXdr(routine, data, size, [](T&) {});
}
