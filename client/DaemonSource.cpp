#include "DaemonSource.h"

#include <vector>

#include "DaemonReplies.h"
#include "LocalRpcClient.h"
#include "tolmstats.h"

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
    if (clnt_call(_client, TOLMSTATS_TIMESTAMPS, asXdrProc(xdr_void), nullptr,
                  asXdrProc(xdr_tolm_timestamps), reinterpret_cast<caddr_t>(&ts),
                  _timeout) != RPC_SUCCESS)
        failed();
    std::vector<uint32_t> out(ts.tolm_timestamps_val,
                              ts.tolm_timestamps_val + ts.tolm_timestamps_len);
    xdr_free(asXdrProc(xdr_tolm_timestamps), reinterpret_cast<char*>(&ts));
    return out;
}

std::unique_ptr<HistoryRecord> DaemonSource::callRecord(RecordType type, rpcproc_t proc,
                                                        const uint32_t* stamp) {
    DaemonReply reply{type, nullptr, nullptr};
    tolm_timestamp argument = stamp ? *stamp : 0;
    clnt_stat st =
        stamp ? clnt_call(_client, proc, asXdrProc(xdr_tolm_timestamp),
                          reinterpret_cast<caddr_t>(&argument), asXdrProc(xdrRecordReply),
                          reinterpret_cast<caddr_t>(&reply), _timeout)
              : clnt_call(_client, proc, asXdrProc(xdr_void), nullptr, asXdrProc(xdrRecordReply),
                          reinterpret_cast<caddr_t>(&reply), _timeout);
    if (st != RPC_SUCCESS)
        failed();
    return std::move(reply.record);
}

std::unique_ptr<HistoryRecord> DaemonSource::recordAt(RecordType type, uint32_t stamp) {
    return callRecord(type, recordProcedures(type).snapshot, &stamp);
}

// The service does not say which snapshot its earliest and latest records
// are of: the record's own stamp names it.
std::unique_ptr<HistoryRecord> DaemonSource::earliest(RecordType type, uint32_t* stamp) {
    std::unique_ptr<HistoryRecord> rec = callRecord(type, recordProcedures(type).earliest, nullptr);
    if (rec)
        *stamp = static_cast<uint32_t>(rec->created());
    return rec;
}

std::unique_ptr<HistoryRecord> DaemonSource::latest(RecordType type, uint32_t* stamp) {
    std::unique_ptr<HistoryRecord> rec = callRecord(type, recordProcedures(type).latest, nullptr);
    if (rec)
        *stamp = static_cast<uint32_t>(rec->created());
    return rec;
}

std::vector<HistoryEntry> DaemonSource::window(RecordType type, uint32_t from, uint32_t to) {
    std::vector<HistoryEntry> all;
    DaemonReply reply{type, nullptr, &all};
    if (clnt_call(_client, recordProcedures(type).all, asXdrProc(xdr_void), nullptr,
                  asXdrProc(xdrHistoryReply), reinterpret_cast<caddr_t>(&reply),
                  _timeout) != RPC_SUCCESS)
        failed();
    std::vector<HistoryEntry> out;
    for (HistoryEntry& e : all)
        if (e.stamp >= from && e.stamp <= to)
            out.push_back(std::move(e));
    return out;
}
