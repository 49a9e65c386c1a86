#pragma once

#include <rpc/rpc.h>

#include <string>

#include "SnapshotSource.h"

// The history held by a running tolmstatsd, through its query service (TCP,
// port 951 by the portmapper). Each call is one query; nothing is cached.
// Throws SourceError with the RPC library's message and "is tolmstatsd
// running on HOST?" when the daemon cannot be reached or a call fails.
class DaemonSource : public SnapshotSource {
  public:
    // Connects; `timeoutSecs` bounds each call.
    explicit DaemonSource(const std::string& host, int timeoutSecs = 25);
    ~DaemonSource() override;
    DaemonSource(const DaemonSource&) = delete;
    DaemonSource& operator=(const DaemonSource&) = delete;

    std::vector<uint32_t> timestamps() override;
    std::unique_ptr<HistoryRecord> recordAt(RecordType type, uint32_t stamp) override;
    // The service's own earliest and latest (one call each).
    std::unique_ptr<HistoryRecord> earliest(RecordType type, uint32_t* stamp) override;
    std::unique_ptr<HistoryRecord> latest(RecordType type, uint32_t* stamp) override;
    // One "all" call, then the window taken from it.
    std::vector<HistoryEntry> window(RecordType type, uint32_t from, uint32_t to) override;
    std::string where() const override { return "tolmstatsd on " + _host; }

  private:
    // Calls procedure `proc` (with the timestamp argument when `stamp` is
    // given) and decodes a record result.
    std::unique_ptr<HistoryRecord> callRecord(RecordType type, rpcproc_t proc,
                                              const uint32_t* stamp);
    [[noreturn]] void failed();

    std::string _host;
    CLIENT* _client = nullptr;
    timeval _timeout;
};
