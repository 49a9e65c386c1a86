#include "DaemonReplies.h"

#include "SerializationException.h"
#include "XdrWordReader.h"
#include "tolmstats.h"

namespace {

// In kRecordTypes' order.
const RecordProcedures kProcedures[] = {
    {TOLMSTATS_NBLADE_EARLIEST, TOLMSTATS_NBLADE_LATEST, TOLMSTATS_NBLADE_SNAPSHOT,
     TOLMSTATS_NBLADE_ALL},
    {TOLMSTATS_DBLADE_EARLIEST, TOLMSTATS_DBLADE_LATEST, TOLMSTATS_DBLADE_SNAPSHOT,
     TOLMSTATS_DBLADE_ALL},
    {TOLMSTATS_LP_EARLIEST, TOLMSTATS_LP_LATEST, TOLMSTATS_LP_SNAPSHOT, TOLMSTATS_LP_ALL},
    {TOLMSTATS_FCD_EARLIEST, TOLMSTATS_FCD_LATEST, TOLMSTATS_FCD_SNAPSHOT, TOLMSTATS_FCD_ALL},
    {TOLMSTATS_MGMTPROC_EARLIEST, TOLMSTATS_MGMTPROC_LATEST, TOLMSTATS_MGMTPROC_SNAPSHOT,
     TOLMSTATS_MGMTPROC_ALL},
};

// The one place a record's presence word is read.
std::unique_ptr<HistoryRecord> readOptional(XdrWordReader& r, RecordType type) {
    if (r.read32() == 0)
        return nullptr;
    std::unique_ptr<HistoryRecord> rec = HistoryRecord::make(type);
    rec->deserialize(r);
    return rec;
}

}  // namespace

const RecordProcedures& recordProcedures(RecordType type) {
    return kProcedures[static_cast<int>(type)];
}

// A record ends its reply, and so does a history: one reader takes all of
// it, in runs.
bool_t xdrRecordReply(XDR* x, DaemonReply* reply) {
    if (x->x_op != XDR_DECODE)
        return x->x_op == XDR_FREE;
    try {
        XdrWordReader r(x);
        reply->record = readOptional(r, reply->type);
    } catch (SerializationException&) {
        return FALSE;
    }
    return TRUE;
}

bool_t xdrHistoryReply(XDR* x, DaemonReply* reply) {
    if (x->x_op != XDR_DECODE)
        return x->x_op == XDR_FREE;
    try {
        XdrWordReader r(x);
        uint32_t n = r.read32();
        // Grown entry by entry: a damaged count fails at the data's end.
        for (uint32_t i = 0; i < n; i++) {
            uint32_t stamp = r.read32();
            std::unique_ptr<HistoryRecord> rec = readOptional(r, reply->type);
            if (rec)
                reply->history->push_back(HistoryEntry{stamp, std::move(rec)});
        }
    } catch (SerializationException&) {
        return FALSE;
    }
    return TRUE;
}
