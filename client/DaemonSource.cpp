#include "DaemonSource.h"

#include <vector>

#include "LocalRpcClient.h"
#include "SerializationException.h"
#include "XdrWordReader.h"
#include "tolmstats.h"

namespace {

// XDR routines of every signature travel as xdrproc_t.
template <typename F>
xdrproc_t xp(F f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

// The four procedures of each record type, in kRecordTypes' order.
struct Procedures {
    rpcproc_t earliest, latest, snapshot, all;
};
const Procedures kProcedures[] = {
    {TOLMSTATS_NBLADE_EARLIEST, TOLMSTATS_NBLADE_LATEST, TOLMSTATS_NBLADE_SNAPSHOT,
     TOLMSTATS_NBLADE_ALL},
    {TOLMSTATS_DBLADE_EARLIEST, TOLMSTATS_DBLADE_LATEST, TOLMSTATS_DBLADE_SNAPSHOT,
     TOLMSTATS_DBLADE_ALL},
    {TOLMSTATS_LP_EARLIEST, TOLMSTATS_LP_LATEST, TOLMSTATS_LP_SNAPSHOT, TOLMSTATS_LP_ALL},
    {TOLMSTATS_FCD_EARLIEST, TOLMSTATS_FCD_LATEST, TOLMSTATS_FCD_SNAPSHOT, TOLMSTATS_FCD_ALL},
    {TOLMSTATS_MGMTPROC_EARLIEST, TOLMSTATS_MGMTPROC_LATEST, TOLMSTATS_MGMTPROC_SNAPSHOT,
     TOLMSTATS_MGMTPROC_ALL},
};

const Procedures& proceduresOf(RecordType type) {
    return kProcedures[static_cast<int>(type)];
}

// A record result, or the entries of a history result.
struct Reply {
    RecordType type;
    std::unique_ptr<HistoryRecord> record;
    std::vector<HistoryEntry>* history;
};

// The one place a record's presence word is read: 0 alone for no record,
// else 1 and the record.
std::unique_ptr<HistoryRecord> readOptional(XdrWordReader& r, RecordType type) {
    if (r.read32() == 0)
        return nullptr;
    std::unique_ptr<HistoryRecord> rec = HistoryRecord::make(type);
    rec->deserialize(r);
    return rec;
}

// A record ends its reply, and so does a history: one reader takes all of
// it, in runs.
bool_t decodeRecord(XDR* x, Reply* reply) {
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

bool_t decodeHistory(XDR* x, Reply* reply) {
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

}  // namespace

DaemonSource::DaemonSource(const std::string& host, int timeoutSecs)
    : _host(host), _timeout{timeoutSecs, 0} {
    _client = localTcpClient(host.c_str(), RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1);
    if (!_client)
        throw SourceError(std::string(clnt_spcreateerror("tolmstat")) +
                          "\ntolmstat: is tolmstatsd running on " + host + "?");
}

DaemonSource::~DaemonSource() {
    if (_client)
        clnt_destroy(_client);
}

void DaemonSource::failed() {
    throw SourceError(std::string(clnt_sperror(_client, "tolmstat")) +
                      "\ntolmstat: is tolmstatsd running on " + _host + "?");
}

std::vector<uint32_t> DaemonSource::timestamps() {
    tolm_timestamps ts = {0, nullptr};
    if (clnt_call(_client, TOLMSTATS_TIMESTAMPS, xp(xdr_void), nullptr, xp(xdr_tolm_timestamps),
                  reinterpret_cast<caddr_t>(&ts), _timeout) != RPC_SUCCESS)
        failed();
    std::vector<uint32_t> out(ts.tolm_timestamps_val,
                              ts.tolm_timestamps_val + ts.tolm_timestamps_len);
    xdr_free(xp(xdr_tolm_timestamps), reinterpret_cast<char*>(&ts));
    return out;
}

std::unique_ptr<HistoryRecord> DaemonSource::callRecord(RecordType type, rpcproc_t proc,
                                                        const uint32_t* stamp) {
    Reply reply{type, nullptr, nullptr};
    tolm_timestamp argument = stamp ? *stamp : 0;
    clnt_stat st = stamp ? clnt_call(_client, proc, xp(xdr_tolm_timestamp),
                                     reinterpret_cast<caddr_t>(&argument), xp(decodeRecord),
                                     reinterpret_cast<caddr_t>(&reply), _timeout)
                         : clnt_call(_client, proc, xp(xdr_void), nullptr, xp(decodeRecord),
                                     reinterpret_cast<caddr_t>(&reply), _timeout);
    if (st != RPC_SUCCESS)
        failed();
    return std::move(reply.record);
}

std::unique_ptr<HistoryRecord> DaemonSource::recordAt(RecordType type, uint32_t stamp) {
    return callRecord(type, proceduresOf(type).snapshot, &stamp);
}

// The service does not say which snapshot its earliest and latest records
// are of: the record's own stamp names it.
std::unique_ptr<HistoryRecord> DaemonSource::earliest(RecordType type, uint32_t* stamp) {
    std::unique_ptr<HistoryRecord> rec = callRecord(type, proceduresOf(type).earliest, nullptr);
    if (rec)
        *stamp = static_cast<uint32_t>(rec->created());
    return rec;
}

std::unique_ptr<HistoryRecord> DaemonSource::latest(RecordType type, uint32_t* stamp) {
    std::unique_ptr<HistoryRecord> rec = callRecord(type, proceduresOf(type).latest, nullptr);
    if (rec)
        *stamp = static_cast<uint32_t>(rec->created());
    return rec;
}

std::vector<HistoryEntry> DaemonSource::window(RecordType type, uint32_t from, uint32_t to) {
    std::vector<HistoryEntry> all;
    Reply reply{type, nullptr, &all};
    if (clnt_call(_client, proceduresOf(type).all, xp(xdr_void), nullptr, xp(decodeHistory),
                  reinterpret_cast<caddr_t>(&reply), _timeout) != RPC_SUCCESS)
        failed();
    std::vector<HistoryEntry> out;
    for (HistoryEntry& e : all)
        if (e.stamp >= from && e.stamp <= to)
            out.push_back(std::move(e));
    return out;
}
