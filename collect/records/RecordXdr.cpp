#include "RecordXdr.h"

#include <algorithm>
#include <cstdio>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "SerializationException.h"
#include "WholeRecord.h"
#include "XdrBuffer.h"
#include "XdrDeserializer.h"
#include "XdrSerializer.h"

namespace {

// Each thread encodes its replies in a buffer of its own, kept between
// records so that its room is found again.
XdrBuffer& replyBuffer() {
    static thread_local XdrBuffer buffer;
    buffer.clear();
    return buffer;
}

template <typename T>
bool_t xdr(XDR* xdrs, T* rec) {
    try {
        switch (xdrs->x_op) {
            case XDR_FREE:
                return TRUE;
            case XDR_ENCODE: {
                unsigned int present = rec ? 1 : 0;
                if (!xdr_u_int(xdrs, &present))
                    return FALSE;
                if (!rec)
                    return TRUE;
                // The whole record into memory, then onto the stream at once:
                // the same bytes as value by value.
                XdrBuffer& b = replyBuffer();
                b.append([rec](auto& sink) { serializeWhole(*rec, sink); });
                if (XDR_PUTBYTES(xdrs, reinterpret_cast<const char*>(b.data()),
                                 static_cast<u_int>(b.size())))
                    return TRUE;
                // Refused (no room): value by value from where the stream
                // stands, so that the failing primitive is the one reported.
                XdrSerializer x(xdrs);
                Serializer& s = x;
                serializeWhole(*rec, s);
                return TRUE;
            }
            case XDR_DECODE: {
                unsigned int present;
                if (!xdr_u_int(xdrs, &present))
                    return FALSE;
                if (present == 0)
                    return TRUE;
                XdrDeserializer d(xdrs);
                rec->deserialize(d);
                return TRUE;
            }
            default:
                return FALSE;
        }
    } catch (SerializationException& e) {
        fprintf(stderr, "Serialization Exception: %s: %d\n", e.msg.c_str(),
                static_cast<int>(e.code));
        return FALSE;
    }
}

}  // namespace

bool_t xdr_NbladeStats(XDR* xdrs, NbladeStats* rec) {
    return xdr(xdrs, rec);
}
bool_t xdr_DbladeStats(XDR* xdrs, DbladeStats* rec) {
    return xdr(xdrs, rec);
}
bool_t xdr_LpStatsSet(XDR* xdrs, LpStatsSet* rec) {
    return xdr(xdrs, rec);
}
bool_t xdr_FcdStats(XDR* xdrs, FcdStats* rec) {
    return xdr(xdrs, rec);
}
bool_t xdr_MgmtProcStats(XDR* xdrs, MgmtProcStats* rec) {
    return xdr(xdrs, rec);
}

bool_t xdr_U32Vector(XDR* xdrs, std::vector<unsigned int>* v) {
    switch (xdrs->x_op) {
        case XDR_FREE:
            return TRUE;
        case XDR_ENCODE: {
            unsigned int n = static_cast<unsigned int>(v->size());
            if (!xdr_u_int(xdrs, &n))
                return FALSE;
            for (unsigned int& e : *v)
                if (!xdr_u_int(xdrs, &e))
                    return FALSE;
            return TRUE;
        }
        case XDR_DECODE: {
            unsigned int n;
            if (!xdr_u_int(xdrs, &n))
                return FALSE;
            v->clear();
            v->reserve(std::min(n, 1u << 16));
            for (unsigned int i = 0; i < n; i++) {
                unsigned int e;
                if (!xdr_u_int(xdrs, &e))
                    return FALSE;
                v->push_back(e);
            }
            return TRUE;
        }
        default:
            return FALSE;
    }
}
