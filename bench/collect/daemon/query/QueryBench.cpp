// Latency of the stats query service: TOLMSTATS_NBLADE_LATEST, and
// TOLMSTATS_NBLADE_ALL with 20 and with 1000 snapshots in the history, each
// against a plain TI-RPC server in the same process that answers with an
// opaque of the same byte count over the same kind of connection. The query
// server takes port 951, so the program runs in a private network namespace:
// tests/netns-run build/rel/bench/collect/daemon/query/bench_query
//
// Built with PCP's client library, and given TOLM_PCP_HOST (scripts/bench-pcp
// starts a pmcd for it), it also measures in the same run the peer a user
// would compare with: one pmFetch of the 940 values of sampledso.many.int
// from that pmcd, against NBLADE_LATEST's 944; the ratio table is then
// printed without the Google Benchmark runs.

#include <benchmark/benchmark.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>
#include <vector>

#include "LocalRpcClient.h"
#include "RecordTestUtil.h"
#include "RecordXdr.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"
#include "StatsArrays.h"
#include "TolmStatsSvr.h"

#ifdef TOLM_HAVE_PCP
#include <pcp/pmapi.h>
#endif

namespace {

constexpr unsigned long kBaselineProgram = 0x20000998;
constexpr unsigned long kNbladeLatest = TOLMSTATS_NBLADE_LATEST;
constexpr unsigned long kNbladeAll = TOLMSTATS_NBLADE_ALL;
const timeval kTimeout = {25, 0};

template <typename F>
xdrproc_t xp(F f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

class RingProvider : public SnapshotProvider {
public:
    RingProvider() : ring(new SnapshotRing(-1)) {}
    SnapshotRing* getAllSnapshots() override { return new SnapshotRing(*ring); }
    Snapshot* getEarliestSnapshot() override { return ring->earliest(); }
    Snapshot* getLatestSnapshot() override { return ring->latest(); }
    Snapshot* getSnapshot(long t) override { return ring->find(t); }
    void getTimestamps(std::vector<unsigned int>& out) override {
        out.clear();
        ring->populateTimestamps(out);
    }
    // Starts again with an empty history (between measurements only).
    void reset() {
        ring.reset(new SnapshotRing(-1));
        count = 0;
    }
    void fillTo(size_t n) {
        if (count > n) reset();
        Filler f(static_cast<unsigned>(n));
        while (count < n) {
            auto* nb = new NbladeStats();
            fillNblade(*nb, f);
            ring->add(new Snapshot(static_cast<int32_t>(1000 + count), nb, nullptr, nullptr,
                                  nullptr, nullptr));
            count++;
        }
    }
    std::unique_ptr<SnapshotRing> ring;
    size_t count = 0;
};

RingProvider g_provider;

// The baseline: procedure 1 takes a byte count and answers with an opaque of
// that many bytes less the 4 of its own length word, so that both replies
// carry the same number of bytes.
std::vector<char> g_blob;
void baselineDispatch(svc_req* rq, SVCXPRT* t) {
    if (rq->rq_proc == 0) {
        svc_sendreply(t, xp(xdr_void), nullptr);
        return;
    }
    u_int size = 0;
    if (!svc_getargs(t, xp(xdr_u_int), reinterpret_cast<caddr_t>(&size))) {
        svcerr_decode(t);
        return;
    }
    if (g_blob.size() < size) g_blob.resize(size, 'x');
    char* p = g_blob.data();
    u_int len = size >= 4 ? size - 4 : 0;
    struct Reply {
        char* p;
        u_int len;
    } reply = {p, len};
    svc_sendreply(t, xp(+[](XDR* x, Reply* r) { return xdr_bytes(x, &r->p, &r->len, ~0u); }),
                  reinterpret_cast<caddr_t>(&reply));
}

struct Sink {
    std::vector<char> buf;
};

bool_t decodeOpaque(XDR* x, Sink* s) {
    u_int len = 0;
    if (!xdr_u_int(x, &len)) return FALSE;
    s->buf.resize(len);
    return xdr_opaque(x, s->buf.data(), len);
}

CLIENT* g_query = nullptr;
CLIENT* g_baseline = nullptr;

void startServers() {
    TolmStatsSvr::createServer(&g_provider);
    SVCXPRT* x = svctcp_create(RPC_ANYSOCK, 0, 0);
    pmap_unset(kBaselineProgram, 1);
    if (!x || !svc_register(x, kBaselineProgram, 1, baselineDispatch, IPPROTO_TCP)) {
        fprintf(stderr, "cannot register the baseline server\n");
        exit(1);
    }
    std::thread(TolmStatsSvr::startServer).detach();
    // The baseline is the RPC library's own server, on its own loop.
    std::thread(svc_run).detach();
    g_query = clnt_create("127.0.0.1", RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1, "tcp");
    g_baseline = clnt_create("127.0.0.1", kBaselineProgram, 1, "tcp");
    if (!g_query || !g_baseline) {
        fprintf(stderr, "cannot reach the servers: %s\n", clnt_spcreateerror("clnt_create"));
        exit(1);
    }
}

// The byte count of the query server's reply for `proc`: the latest record
// as its routine writes it (presence word and record); for "all", a count and
// per snapshot a timestamp and the same (every record here has one size).
u_int replyBytes(unsigned long proc) {
    Snapshot* s = g_provider.getLatestSnapshot();
    XDR x;
    std::vector<char> buf(1 << 16);
    xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    xdr_NbladeStats(&x, s->nblade());
    u_int record = xdr_getpos(&x);
    s->release();
    if (proc == kNbladeLatest)
        return record;
    return static_cast<u_int>(4 + g_provider.count * (4 + record));
}

void queryCall(unsigned long proc, CLIENT* client = g_query) {
    if (proc == kNbladeLatest) {
        NbladeStats nb;
        struct Optional {
            u_int present;
            NbladeStats* rec;
        } out = {0, &nb};
        auto decode = +[](XDR* x, Optional* o) {
            return xdr_u_int(x, &o->present) && (!o->present || xdr_NbladeStats(x, o->rec));
        };
        if (clnt_call(client, proc, xp(xdr_void), nullptr, xp(decode),
                      reinterpret_cast<caddr_t>(&out), kTimeout) != RPC_SUCCESS)
            abort();
        benchmark::DoNotOptimize(nb.data.transport.numInPkts);
        return;
    }
    NbladeStatsArray all;
    if (clnt_call(g_query, proc, xp(xdr_void), nullptr, xp(NbladeStatsArray::xdrStatic),
                  reinterpret_cast<caddr_t>(&all), kTimeout) != RPC_SUCCESS)
        abort();
    benchmark::DoNotOptimize(all.size());
}

void baselineCall(u_int bytes) {
    Sink sink;
    if (clnt_call(g_baseline, 1, xp(xdr_u_int), reinterpret_cast<caddr_t>(&bytes), xp(decodeOpaque),
                  reinterpret_cast<caddr_t>(&sink), kTimeout) != RPC_SUCCESS)
        abort();
    benchmark::DoNotOptimize(sink.buf.data());
}

void BM_NbladeLatest(benchmark::State& state) {
    g_provider.fillTo(20);
    for (auto _ : state) queryCall(kNbladeLatest);
    state.counters["bytes"] = replyBytes(kNbladeLatest);
}
BENCHMARK(BM_NbladeLatest);

void BM_BaselineLatest(benchmark::State& state) {
    g_provider.fillTo(20);
    u_int bytes = replyBytes(kNbladeLatest);
    for (auto _ : state) baselineCall(bytes);
}
BENCHMARK(BM_BaselineLatest);

void BM_NbladeAll(benchmark::State& state) {
    g_provider.fillTo(static_cast<size_t>(state.range(0)));
    for (auto _ : state) queryCall(kNbladeAll);
    state.counters["bytes"] = replyBytes(kNbladeAll);
}
BENCHMARK(BM_NbladeAll)->Arg(20)->Arg(1000)->Unit(benchmark::kMicrosecond);

void BM_BaselineAll(benchmark::State& state) {
    g_provider.fillTo(static_cast<size_t>(state.range(0)));
    u_int bytes = replyBytes(kNbladeAll);
    for (auto _ : state) baselineCall(bytes);
}
BENCHMARK(BM_BaselineAll)->Arg(20)->Arg(1000)->Unit(benchmark::kMicrosecond);

// Median time of one call over `rounds` calls.
template <typename F>
double perCall(F call, int rounds) {
    std::vector<double> t;
    for (int i = 0; i < rounds; i++) {
        auto t0 = std::chrono::steady_clock::now();
        call();
        t.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
    std::sort(t.begin(), t.end());
    return t[t.size() / 2];
}

void ratios() {
    struct Case {
        const char* name;
        unsigned long proc;
        size_t snapshots;
        int rounds;
    };
    const Case cases[] = {{"NBLADE_LATEST", kNbladeLatest, 20, 2000},
                          {"NBLADE_ALL, 20 snapshots", kNbladeAll, 20, 300},
                          {"NBLADE_ALL, 1000 snapshots", kNbladeAll, 1000, 30}};
    printf("\n%-28s %10s %12s %12s %7s\n", "query", "bytes", "query us", "opaque us", "ratio");
    for (const Case& c : cases) {
        g_provider.fillTo(c.snapshots);
        u_int bytes = replyBytes(c.proc);
        double q = perCall([&] { queryCall(c.proc); }, c.rounds);
        double b = perCall([&] { baselineCall(bytes); }, c.rounds);
        printf("%-28s %10u %12.1f %12.1f %7.2f\n", c.name, bytes, q * 1e6, b * 1e6, q / b);
    }
}

#ifdef TOLM_HAVE_PCP
// One pmFetch of the metric `name` from the pmcd at `host`; every call checks
// that all `values` came back.
class PcpPeer {
public:
    PcpPeer(const char* host, const char* name, int values) : values_(values) {
        ctx_ = pmNewContext(PM_CONTEXT_HOST, host);
        if (ctx_ < 0) fail("pmNewContext", ctx_);
        const char* names[] = {name};
        int n = pmLookupName(1, names, &pmid_);
        if (n < 0) fail("pmLookupName", n);
    }
    void fetch() {
        pmResult* r = nullptr;
        int n = pmFetch(1, &pmid_, &r);
        if (n < 0) fail("pmFetch", n);
        if (r->numpmid != 1 || r->vset[0]->numval != values_) {
            fprintf(stderr, "pmFetch: %d values, expected %d\n", r->vset[0]->numval, values_);
            exit(1);
        }
        benchmark::DoNotOptimize(r->vset[0]->vlist[values_ - 1].value.lval);
        pmFreeResult(r);
    }

private:
    [[noreturn]] static void fail(const char* what, int err) {
        fprintf(stderr, "%s: %s\n", what, pmErrStr(err));
        exit(1);
    }
    int ctx_ = -1;
    pmID pmid_ = 0;
    int values_;
};

// NBLADE_LATEST through each client (TI-RPC's clnt_vc handle, as any RPC
// program would call the service, and the project's own, as tolmstat does)
// and the peer's fetch, `rounds` times each, in turns so that all three see
// the same state of the machine.
void peerRatio(const char* host) {
    constexpr int kValues = 940;
    PcpPeer peer(host, "sampledso.many.int", kValues);
    CLIENT* own = localTcpClient("127.0.0.1", RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1);
    if (!own) {
        fprintf(stderr, "%s\n", clnt_spcreateerror("localTcpClient"));
        exit(1);
    }
    g_provider.fillTo(20);
    using Clock = std::chrono::steady_clock;
    auto us = [](Clock::time_point a, Clock::time_point b) {
        return std::chrono::duration<double, std::micro>(b - a).count();
    };
    std::vector<double> tirpc, ours, fetch;
    for (int i = 0; i < 2000; i++) {
        auto t0 = Clock::now();
        queryCall(kNbladeLatest, g_query);
        auto t1 = Clock::now();
        queryCall(kNbladeLatest, own);
        auto t2 = Clock::now();
        peer.fetch();
        auto t3 = Clock::now();
        tirpc.push_back(us(t0, t1));
        ours.push_back(us(t1, t2));
        fetch.push_back(us(t2, t3));
    }
    clnt_destroy(own);
    auto median = [](std::vector<double>& v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    double f = median(fetch), t = median(tirpc), o = median(ours);
    printf("\n%-36s %12s %12s %7s\n", "peer (940 values)", "query us", "pmFetch us", "ratio");
    printf("%-36s %12.1f %12.1f %7.2f\n", "NBLADE_LATEST, clnt_vc / pmFetch", t, f, t / f);
    printf("%-36s %12.1f %12.1f %7.2f\n", "NBLADE_LATEST, own client / pmFetch", o, f, o / f);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (!getenv("TOLM_NETNS_ACTIVE")) {
        fprintf(stderr, "run me in a private namespace: tests/netns-run %s\n", argv[0]);
        return 2;
    }
    startServers();
    const char* host = getenv("TOLM_PCP_HOST");
    if (!host) {
        benchmark::Initialize(&argc, argv);
        benchmark::RunSpecifiedBenchmarks();
        benchmark::Shutdown();
    }
    ratios();
    if (host) {
#ifdef TOLM_HAVE_PCP
        peerRatio(host);
#else
        fprintf(stderr, "TOLM_PCP_HOST is set, but this build has no PCP client library\n");
        return 1;
#endif
    }
    return 0;
}
