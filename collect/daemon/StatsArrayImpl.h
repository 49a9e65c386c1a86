#pragma once

#include <rpc/rpc.h>

#include <cstdio>

#include "SerializationException.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"
#include "StatsArray.h"
#include "XdrWordReader.h"

// A StatsArray filled from a provider and encoded with the record routine
// `recordXdr`: a count, then per entry the timestamp and the optional record.
template <typename T, bool_t (*recordXdr)(XDR*, T*)>
class StatsArrayImpl : public StatsArray<T> {
public:
    static constexpr unsigned int kReserveAtMost = 1024;

    StatsArrayImpl() {}
    explicit StatsArrayImpl(SnapshotProvider& provider) {
        SnapshotRing* ring = provider.getAllSnapshots();
        if (!ring) return;
        size_t n = 0;
        for (auto it = ring->begin(); it != ring->end(); ++it) n++;
        this->_sm.resize(n);
        size_t i = 0;
        for (auto it = ring->begin(); it != ring->end(); ++it, ++i) {
            this->_sm[i].first = static_cast<unsigned int>((*it)->timestamp);
            (*it)->getStats(&this->_sm[i].second);
        }
        delete ring;
    }

    // The array routine as a plain function of the stream and the array.
    static bool_t xdrStatic(XDR* xdrs, void* self) {
        return static_cast<StatsArrayImpl*>(self)->xdr(xdrs);
    }

    bool_t xdr(XDR* xdrs) {
        switch (xdrs->x_op) {
            case XDR_FREE:
                return TRUE;
            case XDR_ENCODE: {
                unsigned int n = static_cast<unsigned int>(this->_sm.size());
                if (!xdr_u_int(xdrs, &n)) return FALSE;
                for (auto& e : this->_sm)
                    if (!xdr_u_int(xdrs, &e.first) || !recordXdr(xdrs, &e.second)) return FALSE;
                return TRUE;
            }
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
                        // An optional record: present or not, as recordXdr reads it.
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
