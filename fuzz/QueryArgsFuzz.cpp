// Feeds arbitrary bytes, as one record-marked call message to the query
// service (the RPC header, then the arguments), through the service's own
// connection over a socket pair: the header is checked and decoded, the
// procedure's arguments taken from the same stream, and the reply encoded and
// written. Any call must end in a reply, an RPC error or the connection's
// end, never a crash.

#include <arpa/inet.h>
#include <rpc/rpc.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "QueryConnection.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"
#include "TolmStatsSvr.h"

namespace {

// A short history with every record type, timestamps 100 to 102.
class SmallHistory : public SnapshotProvider {
  public:
    SmallHistory() : _ring(-1) {
        for (int32_t t = 100; t < 103; t++) {
            LpStatsSet* lps = new LpStatsSet();
            Snapshot* s = new Snapshot(t, new NbladeStats(), new DbladeStats(), lps, new FcdStats(),
                                       new MgmtProcStats());
            _ring.add(s);
            s->release();
        }
    }
    SnapshotRing* getAllSnapshots() override { return new SnapshotRing(_ring); }
    Snapshot* getEarliestSnapshot() override { return _ring.earliest(); }
    Snapshot* getLatestSnapshot() override { return _ring.latest(); }
    Snapshot* getSnapshot(long t) override { return _ring.find(t); }
    void getTimestamps(std::vector<unsigned int>& out) override {
        out.clear();
        _ring.populateTimestamps(out);
    }

  private:
    SnapshotRing _ring;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static SmallHistory history;
    TolmStatsSvr::attachProvider(&history);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 60000)
        return 0;
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return 0;
    int big = 1 << 20;
    setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    setsockopt(ends[1], SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    uint32_t mark = htonl(0x80000000u | static_cast<uint32_t>(size));
    std::vector<char> record(reinterpret_cast<const char*>(&mark),
                             reinterpret_cast<const char*>(&mark) + 4);
    record.insert(record.end(), data, data + size);
    if (write(ends[1], record.data(), record.size()) == static_cast<ssize_t>(record.size())) {
        {
            QueryConnection connection(ends[0], 0, 64 * 1024, RPCPROG_TOLMSTATSD,
                                       TOLMSTATS_RPC_VERSION_1, TolmStatsSvr::dispatch);
            connection.onReadable(0);
        }
        // The connection is closed: what it answered, then the end.
        char sink[65536];
        while (read(ends[1], sink, sizeof sink) > 0) {
        }
    } else {
        close(ends[0]);
    }
    close(ends[1]);
    return 0;
}
