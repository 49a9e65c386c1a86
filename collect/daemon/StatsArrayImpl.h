#pragma once

#include <rpc/rpc.h>

#include <cstdio>

#include "SerializationException.h"
#include "StatsArray.h"
#include "XdrWordReader.h"

// The reply of an "all" procedure as a client reads it: a count, then per
// entry the timestamp and the optional record, as the record routines have
// it (the daemon encodes the reply straight from its snapshots). Decoding only.
template <typename T>
class StatsArrayImpl : public StatsArray<T> {
public:
    static constexpr unsigned int kReserveAtMost = 1024;

    StatsArrayImpl() {}
    // The array routine as a plain function of the stream and the array.
    static bool_t xdrStatic(XDR* xdrs, void* self) {
        return static_cast<StatsArrayImpl*>(self)->xdr(xdrs);
    }

    bool_t xdr(XDR* xdrs) {
        switch (xdrs->x_op) {
            case XDR_FREE:
                return TRUE;
            case XDR_DECODE: {
                // The array is the whole reply: one reader takes its words in
                // runs for the count, the timestamps and the records alike.
                try {
                    XdrWordReader r(xdrs);
                    unsigned int n = r.read32();
                    // Room for up to kReserveAtMost entries at once (a history
                    // rarely holds more); beyond that grown entry by entry, so
                    // that a damaged count fails at the end of the data
                    // instead of allocating for it.
                    this->_sm.clear();
                    this->_sm.reserve(n < kReserveAtMost ? n : kReserveAtMost);
                    for (unsigned int i = 0; i < n; i++) {
                        this->_sm.emplace_back();
                        auto& e = this->_sm.back();
                        e.first = r.read32();
                        // An optional record: a presence word, then the record.
                        if (r.read32() != 0)
                            e.second.deserialize(r);
                    }
                } catch (SerializationException& e) {
                    fprintf(stderr, "Serialization Exception: %s: %d\n", e.msg.c_str(),
                            static_cast<int>(e.code));
                    return FALSE;
                }
                return TRUE;
            }
            default:
                return FALSE;
        }
    }
};
