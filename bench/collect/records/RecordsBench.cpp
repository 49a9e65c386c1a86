// Serialize + deserialize of each record through the XDR and the local file
// serializers, each reported as a ratio to memcpy of the same number of bytes
// (out and back) measured in the same run; and the whole-record XDR encoder
// (XdrBuffer, what the query replies use) against one memcpy of its bytes.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "FileDeserializer.h"
#include "RecordTestUtil.h"
#include "WholeRecord.h"
#include "XdrBuffer.h"

namespace {

struct Samples {
    Samples() : f(42) {
        fillNblade(nb, f);
        fillDblade(db, f);
        fillMgmt(mgmt, f);
        fillLpSetData(lp, f);
        for (int i = 0; i < 4; i++)
            lp.addLpStats(makeLp(f, "pool" + std::to_string(i), 8));
        fillFcdData(fcd, f);
        for (int i = 0; i < 16; i++)
            fcd.addDiskStats(makeDisk(f));
    }
    Filler f;
    NbladeStats nb;
    DbladeStats db;
    MgmtProcStats mgmt;
    LpStatsSet lp;
    FcdStats fcd;
};

Samples& samples() {
    static Samples s;
    return s;
}

ScratchDir& scratch() {
    static ScratchDir d;
    return d;
}

template <typename R>
void xdrRoundTrip(benchmark::State& state, R& rec) {
    std::vector<char> buf(1 << 16);
    size_t bytes = 0;
    for (auto _ : state) {
        XDR x;
        xdrmem_create(&x, buf.data(), buf.size(), XDR_ENCODE);
        {
            XdrSerializer s(&x);
            Serializer& out = s;
            serializeWhole(rec, out);
        }
        bytes = xdr_getpos(&x);
        xdr_destroy(&x);
        xdrmem_create(&x, buf.data(), bytes, XDR_DECODE);
        R back;
        XdrDeserializer d(&x);
        back.deserialize(d);
        benchmark::DoNotOptimize(back);
        xdr_destroy(&x);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

template <typename R>
void fileRoundTrip(benchmark::State& state, R& rec) {
    std::string path = scratch().file("bench");
    size_t bytes = 0;
    for (auto _ : state) {
        {
            FileSerializer s(path);
            Serializer& out = s;
            serializeWhole(rec, out);
        }
        FileDeserializer d(path, 4096);
        R back;
        back.deserialize(d);
        benchmark::DoNotOptimize(back);
    }
    bytes = readFile(path).size();
    state.counters["bytes"] = static_cast<double>(bytes);
}

template <typename R>
void xdrEncode(benchmark::State& state, R& rec) {
    XdrBuffer b;
    for (auto _ : state) {
        b.clear();
        b.append([&rec](auto& sink) { serializeWhole(rec, sink); });
        benchmark::DoNotOptimize(b.data());
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(b.size());
}

// One copy of the bytes: the baseline of an encoder, which writes them once.
void memcpyOnce(benchmark::State& state) {
    size_t n = static_cast<size_t>(state.range(0));
    std::vector<char> a(n, 1), b(n);
    for (auto _ : state) {
        memcpy(b.data(), a.data(), n);
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(n);
}

// The least an encoder of the FCD record must do, byte order aside: its
// header, totals and disk count copied from the record, and each disk from
// its own allocation (the record holds its disks by pointer), into one
// buffer. Beside memcpyonce of the same bytes it shows what the layout
// alone costs.
void fcdGather(benchmark::State& state) {
    FcdStats& r = samples().fcd;
    std::vector<const _fcdDiskStats*> disks;
    for (size_t i = 0; i < r.size(); i++)
        disks.push_back(&r[i]);
    std::vector<unsigned char> out(4096);
    size_t bytes = 0;
    for (auto _ : state) {
        unsigned char* at = out.data();
        const uint32_t type = SER_FCD;
        memcpy(at, &type, 4);
        memcpy(at + 4, &r.data.version, 20);
        memcpy(at + 24, &r.data.readFrames, 64);
        const uint32_t count = static_cast<uint32_t>(disks.size());
        memcpy(at + 88, &count, 4);
        at += 92;
        for (const _fcdDiskStats* d : disks) {
            memcpy(at, d, sizeof *d);
            at += sizeof *d;
        }
        bytes = static_cast<size_t>(at - out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}

void memcpyBaseline(benchmark::State& state) {
    size_t n = static_cast<size_t>(state.range(0));
    std::vector<char> a(n, 1), b(n);
    for (auto _ : state) {
        // Both directions, as a round trip copies the bytes out and back.
        memcpy(b.data(), a.data(), n);
        benchmark::ClobberMemory();
        memcpy(a.data(), b.data(), n);
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(n);
}

// Collects the per-iteration times and prints the ratio table at the end.
class RatioReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            double bytes =
                r.counters.count("bytes") ? static_cast<double>(r.counters.at("bytes")) : 0;
            _times[r.benchmark_name()] = {r.GetAdjustedRealTime(), bytes};
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        printf("\n%-22s %8s %12s %12s %8s\n", "round trip", "bytes", "ns", "memcpy ns", "ratio");
        for (const auto& [name, t] : _times) {
            if (name.rfind("memcpy", 0) == 0)
                continue;
            // An encoder writes the bytes once; a round trip copies them out and back.
            bool once = name.rfind("xdrencode", 0) == 0 || name.rfind("gather", 0) == 0;
            std::string base = (once ? "memcpyonce/" : "memcpy/") +
                               std::to_string(static_cast<long>(t.second));
            auto it = _times.find(base);
            if (it == _times.end())
                continue;
            printf("%-22s %8.0f %12.1f %12.1f %8.1f\n", name.c_str(), t.second, t.first,
                   it->second.first, t.first / it->second.first);
        }
    }

  private:
    std::map<std::string, std::pair<double, double>> _times;
};

// The serialized sizes, for the memcpy baselines.
template <typename R>
long fileSize(R& rec) {
    std::string path = scratch().file("size");
    {
        FileSerializer s(path);
        Serializer& out = s;
        serializeWhole(rec, out);
    }
    return static_cast<long>(readFile(path).size());
}

template <typename R>
long xdrSize(R& rec) {
    return static_cast<long>(xdrBytes([&](Serializer& s) { serializeWhole(rec, s); }).size());
}

template <typename R>
void registerRecord(const char* name, R& rec, std::vector<long>& sizes) {
    benchmark::RegisterBenchmark((std::string("xdr/") + name).c_str(),
                                 [&rec](benchmark::State& s) { xdrRoundTrip(s, rec); });
    benchmark::RegisterBenchmark((std::string("file/") + name).c_str(),
                                 [&rec](benchmark::State& s) { fileRoundTrip(s, rec); });
    benchmark::RegisterBenchmark((std::string("xdrencode/") + name).c_str(),
                                 [&rec](benchmark::State& s) { xdrEncode(s, rec); });
    sizes.push_back(xdrSize(rec));
    sizes.push_back(fileSize(rec));
}

}  // namespace

int main(int argc, char** argv) {
    Samples& s = samples();
    std::vector<long> sizes;
    registerRecord("nblade", s.nb, sizes);
    registerRecord("dblade", s.db, sizes);
    registerRecord("lp", s.lp, sizes);
    registerRecord("fcd", s.fcd, sizes);
    registerRecord("mgmtproc", s.mgmt, sizes);
    benchmark::RegisterBenchmark("gather/fcd", fcdGather);
    auto* base = benchmark::RegisterBenchmark("memcpy", memcpyBaseline);
    std::sort(sizes.begin(), sizes.end());
    sizes.erase(std::unique(sizes.begin(), sizes.end()), sizes.end());
    for (long n : sizes)
        base->Arg(n);
    // The XDR sizes again, for the encoder's one-copy baseline.
    auto* once = benchmark::RegisterBenchmark("memcpyonce", memcpyOnce);
    for (long n : sizes)
        once->Arg(n);

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
