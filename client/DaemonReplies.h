#pragma once

#include <rpc/rpc.h>

#include <memory>
#include <vector>

#include "SnapshotSource.h"

// The query service's four procedures of a record type.
struct RecordProcedures {
    rpcproc_t earliest, latest, snapshot, all;
};
const RecordProcedures& recordProcedures(RecordType type);

// What one reply of the query service decodes into: a record result (the
// record, or null for the service's "no record"), or the entries of a
// history result appended to `history`.
struct DaemonReply {
    RecordType type;
    std::unique_ptr<HistoryRecord> record;
    std::vector<HistoryEntry>* history = nullptr;
};

// The XDR routines of the two results, for the results of a call (decoding
// only; freeing has nothing to do). A record result is a presence word, 0
// alone or 1 and the record; a history result is a count and, that many
// times, a timestamp and a record result.
bool_t xdrRecordReply(XDR* x, DaemonReply* reply);
bool_t xdrHistoryReply(XDR* x, DaemonReply* reply);

// XDR routines of every signature travel as xdrproc_t.
template <typename F>
xdrproc_t asXdrProc(F f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}
