// tolmstat: queries the snapshot history of a running tolmstatsd.

#include <rpc/rpc.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "JsonRenderer.h"
#include "LocalRpcClient.h"
#include "LpStatsSet.h"
#include "Metrics.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "Rates.h"
#include "RecordValues.h"
#include "RecordXdr.h"
#include "SerializationException.h"
#include "SignalMgr.h"
#include "StatsArrays.h"
#include "TolmStatsSvr.h"
#include "TolmVersion.h"
#include "WatchView.h"
#include "XdrWordReader.h"
#include "XmlRenderer.h"

namespace {

const char* kUsage =
    "usage: tolmstat [--host H] timestamps\n"
    "       tolmstat [--host H] earliest|latest TYPE [--xml | --json | --dump] [--showzero]\n"
    "       tolmstat [--host H] at TIMESTAMP TYPE [--xml | --json | --dump] [--showzero]\n"
    "       tolmstat [--host H] all TYPE [--xml | --json | --dump] [--showzero]\n"
    "       tolmstat [--host H] rate TYPE [--from T1] [--to T2] [--json]\n"
    "       tolmstat [--host H] watch TYPE FIELD... [--interval S] [--count N]\n"
    "       tolmstat [--host H] metrics\n"
    "       tolmstat --version\n"
    "TYPE is one of nblade, dblade, lp, fcd, mgmtproc. Records print as XML by default,\n"
    "with zero statistics left out unless --showzero. TIMESTAMP is the number or the\n"
    "local-time form that timestamps prints (20261206-235948). rate and watch give the\n"
    "per-second change of counters between two snapshots (the two latest by default);\n"
    "a FIELD is a dotted name as rate prints it (cifs.TolmGetAttr), summed over pools,\n"
    "volumes, disks and processes. metrics prints the latest snapshots in the\n"
    "Prometheus text format.\n"
    "Exit status: 0; 1 no such snapshot; 2 usage error; 3 tolmstatsd not reached.\n";

enum class Form { Xml, Json, Dump };

const timeval kTimeout = {25, 0};

template <typename F>
xdrproc_t xp(F f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

constexpr int kNoSnapshot = 1;
constexpr int kUsageError = 2;
constexpr int kUnreachable = 3;

std::string g_host = "localhost";

[[noreturn]] void usage(FILE* f, int status) {
    fputs(kUsage, f);
    exit(status);
}

// A usage error: one line saying what is wrong, then the usage.
[[noreturn]] void badUsage(const std::string& why) {
    fprintf(stderr, "tolmstat: %s\n", why.c_str());
    usage(stderr, kUsageError);
}

[[noreturn]] void rpcFailure(CLIENT* c) {
    fprintf(stderr, "%s\ntolmstat: is tolmstatsd running on %s?\n", clnt_sperror(c, "tolmstat"),
            g_host.c_str());
    exit(kUnreachable);
}

// A timestamp: a number of seconds that fits 32 bits, or the local-time form
// "YYYYMMDD-HHMMSS" that timestamps prints.
bool parseStamp(const std::string& text, unsigned int* out) {
    if (text.empty())
        return false;
    int y, mo, d, h, mi, se;
    char tail;
    if (text.size() == 15 &&
        sscanf(text.c_str(), "%4d%2d%2d-%2d%2d%2d%c", &y, &mo, &d, &h, &mi, &se, &tail) == 6) {
        struct tm tm = {};
        tm.tm_year = y - 1900;
        tm.tm_mon = mo - 1;
        tm.tm_mday = d;
        tm.tm_hour = h;
        tm.tm_min = mi;
        tm.tm_sec = se;
        tm.tm_isdst = -1;
        time_t t = mktime(&tm);
        if (t < 0 || t > static_cast<time_t>(0xFFFFFFFFu))
            return false;
        *out = static_cast<unsigned int>(t);
        return true;
    }
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    errno = 0;
    unsigned long long v = strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || v > 0xFFFFFFFFull)
        return false;
    *out = static_cast<unsigned int>(v);
    return true;
}

template <typename R>
bool hasDump(R&) {
    return true;
}
bool hasDump(DbladeStats&) {
    return false;
}
template <typename R>
void dumpOf(R& r) {
    r.dump();
}
void dumpOf(DbladeStats&) {}

template <typename R>
std::string jsonOf(const R& rec, bool showZero) {
    JsonRenderer j(showZero);
    rec.visit(j);
    return j.str();
}

template <typename R>
bool print(R& rec, Form form, bool showZero) {
    switch (form) {
        case Form::Xml: {
            XmlRenderer r;
            r.skipZeroAttributes(!showZero);
            rec.toXml(r);
            return true;
        }
        case Form::Json:
            printf("%s\n", jsonOf(rec, showZero).c_str());
            return true;
        case Form::Dump:
            if (!hasDump(rec)) {
                fprintf(stderr, "tolmstat: a D-blade record has no text dump\n");
                return false;
            }
            dumpOf(rec);
            return true;
    }
    return false;
}

// Procedure numbers: earliest, latest, at, all follow each other per type.
enum Which { kEarliest = 0, kLatest = 1, kAt = 2 };

// Asks for one record; false when the daemon has no such snapshot.
template <typename R>
bool fetch(CLIENT* c, unsigned long first, Which which, unsigned int stamp, R& rec) {
    // A record that does not come back leaves this marker in place.
    unsigned int present = 0;
    struct Reply {
        R* rec;
        unsigned int* present;
    } reply = {&rec, &present};
    auto decode = [](XDR* x, void* p) -> bool_t {
        Reply* r = static_cast<Reply*>(p);
        if (x->x_op != XDR_DECODE)
            return TRUE;
        if (!xdr_u_int(x, r->present))
            return FALSE;
        if (*r->present == 0)
            return TRUE;
        try {
            // The record ends the reply: its words may be taken in runs.
            XdrWordReader d(x);
            r->rec->deserialize(d);
        } catch (SerializationException&) {
            return FALSE;
        }
        return TRUE;
    };
    bool_t (*decodeFn)(XDR*, void*) = decode;
    enum clnt_stat st =
        which == kAt ? clnt_call(c, first + kAt, xp(xdr_u_int), reinterpret_cast<caddr_t>(&stamp),
                                 xp(decodeFn), reinterpret_cast<caddr_t>(&reply), kTimeout)
                     : clnt_call(c, first + which, xp(xdr_void), nullptr, xp(decodeFn),
                                 reinterpret_cast<caddr_t>(&reply), kTimeout);
    if (st != RPC_SUCCESS)
        rpcFailure(c);
    return present != 0;
}

template <typename R, typename Array>
int query(CLIENT* c, unsigned long first, const std::string& what, unsigned int stamp, Form form,
          bool showZero) {
    if (what == "all") {
        Array all;
        if (clnt_call(c, first + 3, xp(xdr_void), nullptr, xp(Array::xdrStatic),
                      reinterpret_cast<caddr_t>(&all), kTimeout) != RPC_SUCCESS)
            rpcFailure(c);
        if (all.size() == 0) {
            fprintf(stderr, "tolmstat: no snapshot\n");
            return kNoSnapshot;
        }
        if (form == Form::Json) {
            printf("[");
            for (size_t i = 0; i < all.size(); i++)
                printf("%s{\"timestamp\": %u, \"record\": %s}", i ? ",\n " : "", all[i].first,
                       jsonOf(all[i].second, showZero).c_str());
            printf("]\n");
            return 0;
        }
        // One XML document for all of them; a line before each dump.
        if (form == Form::Xml)
            printf("<snapshots>\n");
        for (size_t i = 0; i < all.size(); i++) {
            int32_t t = static_cast<int32_t>(all[i].first);
            if (form == Form::Xml)
                printf("<snapshot timestamp=\"%u\" stamp=\"%s\">\n", all[i].first,
                       stampName(t).c_str());
            else if (form == Form::Dump)
                printf("== %u %s\n", all[i].first, stampName(t).c_str());
            fflush(stdout);
            if (!print(all[i].second, form, showZero))
                return kUsageError;
            fflush(stdout);
            if (form == Form::Xml)
                printf("</snapshot>\n");
        }
        if (form == Form::Xml)
            printf("</snapshots>\n");
        return 0;
    }
    Which which = what == "earliest" ? kEarliest : what == "latest" ? kLatest : kAt;
    R rec;
    if (!fetch(c, first, which, stamp, rec)) {
        fprintf(stderr, "tolmstat: no snapshot\n");
        return kNoSnapshot;
    }
    return print(rec, form, showZero) ? 0 : kUsageError;
}

const char* const kTypes[] = {"nblade", "dblade", "lp", "fcd", "mgmtproc"};

bool isType(const std::string& t) {
    for (const char* k : kTypes)
        if (t == k)
            return true;
    return false;
}

template <typename R>
bool fetchValuesOf(CLIENT* c, unsigned long first, Which which, unsigned int stamp,
                   std::vector<RecordValue>& out) {
    R rec;
    if (!fetch(c, first, which, stamp, rec))
        return false;
    RecordValues v;
    rec.visit(v);
    out = std::move(v.values);
    return true;
}

// The values of one record of `type`; false when there is no such snapshot.
bool fetchValues(CLIENT* c, const std::string& type, Which which, unsigned int stamp,
                 std::vector<RecordValue>& out) {
    if (type == "nblade")
        return fetchValuesOf<NbladeStats>(c, 1, which, stamp, out);
    if (type == "dblade")
        return fetchValuesOf<DbladeStats>(c, 5, which, stamp, out);
    if (type == "lp")
        return fetchValuesOf<LpStatsSet>(c, 9, which, stamp, out);
    if (type == "fcd")
        return fetchValuesOf<FcdStats>(c, 13, which, stamp, out);
    return fetchValuesOf<MgmtProcStats>(c, 17, which, stamp, out);
}

std::vector<unsigned int> timestamps(CLIENT* c) {
    std::vector<unsigned int> ts;
    if (clnt_call(c, 21, xp(xdr_void), nullptr, xp(xdr_U32Vector), reinterpret_cast<caddr_t>(&ts),
                  kTimeout) != RPC_SUCCESS)
        rpcFailure(c);
    return ts;
}

struct Sample {
    unsigned int stamp = 0;
    std::vector<RecordValue> values;
};

// The snapshot of `type` at `stamp`, or the latest one at or before it
// (every stamp when `stamp` is 0) that is older than `before`.
bool findSample(CLIENT* c, const std::string& type, const std::vector<unsigned int>& ts,
                unsigned int atOrBefore, unsigned int before, Sample& out) {
    for (size_t i = ts.size(); i-- > 0;) {
        if (ts[i] > atOrBefore || ts[i] >= before)
            continue;
        if (fetchValues(c, type, kAt, ts[i], out.values)) {
            out.stamp = ts[i];
            return true;
        }
    }
    return false;
}

// The two snapshots a rate is taken between: at `to` (the latest when 0) and
// at `from` (the one before `to` when 0).
int ratePair(CLIENT* c, const std::string& type, unsigned int from, unsigned int to, Sample& older,
             Sample& newer) {
    std::vector<unsigned int> ts = timestamps(c);
    if (!findSample(c, type, ts, to ? to : 0xFFFFFFFFu, 0xFFFFFFFFu, newer) ||
        (to && newer.stamp != to)) {
        fprintf(stderr, "tolmstat: no %s snapshot%s\n", type.c_str(),
                to ? (" at " + std::to_string(to)).c_str() : "");
        return kNoSnapshot;
    }
    if (!findSample(c, type, ts, from ? from : newer.stamp, newer.stamp, older) ||
        (from && older.stamp != from)) {
        if (from)
            fprintf(stderr, "tolmstat: no %s snapshot at %u before %u\n", type.c_str(), from,
                    newer.stamp);
        else
            fprintf(stderr, "tolmstat: no %s snapshot before %u: a rate needs two\n", type.c_str(),
                    newer.stamp);
        return kNoSnapshot;
    }
    return 0;
}

int rate(CLIENT* c, const std::string& type, unsigned int from, unsigned int to, bool json) {
    Sample older, newer;
    if (int rc = ratePair(c, type, from, to, older, newer))
        return rc;
    double seconds = static_cast<double>(newer.stamp) - static_cast<double>(older.stamp);
    std::vector<CounterRate> rates = counterRates(older.values, newer.values, seconds);
    if (json) {
        fputs(ratesJson(rates, older.stamp, newer.stamp).c_str(), stdout);
        return 0;
    }
    printf("%s: %u %s -> %u %s, %.0f s\n", type.c_str(), older.stamp,
           stampName(static_cast<int32_t>(older.stamp)).c_str(), newer.stamp,
           stampName(static_cast<int32_t>(newer.stamp)).c_str(), seconds);
    fputs(ratesText(rates).c_str(), stdout);
    return 0;
}

volatile sig_atomic_t g_stop = 0;

int watch(CLIENT* c, const std::string& type, const std::vector<std::string>& fields,
          unsigned int interval, long count) {
    signal(SIGINT, [](int) { g_stop = 1; });
    signal(SIGTERM, [](int) { g_stop = 1; });
    WatchView view(fields);
    for (long line = 0; (count < 0 || line < count) && !g_stop; line++) {
        if (line > 0) {
            for (unsigned int s = 0; s < interval * 10 && !g_stop; s++)
                usleep(100000);
            if (g_stop)
                break;
        }
        Sample older, newer;
        if (int rc = ratePair(c, type, 0, 0, older, newer))
            return rc;
        double seconds = static_cast<double>(newer.stamp) - static_cast<double>(older.stamp);
        std::vector<CounterRate> rates = counterRates(older.values, newer.values, seconds);
        std::vector<std::string> unknown = view.unknownFields(rates);
        if (!unknown.empty()) {
            fprintf(stderr, "tolmstat: no counter %s in the %s record\n", unknown[0].c_str(),
                    type.c_str());
            return kUsageError;
        }
        time_t now = time(nullptr);
        struct tm tm;
        localtime_r(&now, &tm);
        char when[16];
        strftime(when, sizeof when, "%H:%M:%S", &tm);
        fputs(view.line(rates, when, stampName(static_cast<int32_t>(newer.stamp))).c_str(), stdout);
        fflush(stdout);
    }
    return 0;
}

int metrics(CLIENT* c) {
    Metrics m;
    for (const char* type : kTypes) {
        std::vector<RecordValue> values;
        if (fetchValues(c, type, kLatest, 0, values))
            m.add(type, values);
    }
    fputs(m.text().c_str(), stdout);
    return 0;
}

bool parseCount(const std::string& text, long* out) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *out = atol(text.c_str());
    return *out > 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "tolmstat"))
        return 0;
    Form form = Form::Xml;
    int forms = 0;
    bool showZero = false;
    unsigned int from = 0, to = 0;
    bool fromGiven = false, toGiven = false;
    long interval = -1, count = -1;
    std::vector<std::string> words;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help")
            usage(stdout, 0);
        auto operand = [&](const char* what) -> std::string {
            if (i + 1 >= argc)
                badUsage(a + " needs " + what);
            return argv[++i];
        };
        if (a == "--host") {
            g_host = operand("a host name");
        } else if (a == "--xml" || a == "--json" || a == "--dump") {
            form = a == "--xml" ? Form::Xml : a == "--json" ? Form::Json : Form::Dump;
            forms++;
        } else if (a == "--showzero") {
            showZero = true;
        } else if (a == "--from" || a == "--to") {
            std::string t = operand("a timestamp");
            if (!parseStamp(t, a == "--from" ? &from : &to))
                badUsage("not a timestamp of 32 bits: " + t);
            (a == "--from" ? fromGiven : toGiven) = true;
        } else if (a == "--interval" || a == "--count") {
            std::string n = operand("a positive number");
            if (!parseCount(n, a == "--interval" ? &interval : &count))
                badUsage(a + " needs a positive number, not " + n);
        } else if (a.rfind("--", 0) == 0) {
            badUsage("unknown option " + a);
        } else {
            words.push_back(a);
        }
    }
    if (words.empty())
        badUsage("what to ask is missing");
    if (forms > 1)
        badUsage("choose one of --xml, --json and --dump");
    const std::string& what = words[0];
    unsigned int stamp = 0;
    std::string type;
    if ((fromGiven || toGiven) && what != "rate")
        badUsage("--from and --to belong to rate");
    if ((interval > 0 || count > 0) && what != "watch")
        badUsage("--interval and --count belong to watch");
    if (what == "timestamps" && words.size() == 1) {
        if (forms > 0 || showZero)
            badUsage("timestamps takes no --xml, --json, --dump or --showzero");
    } else if (what == "metrics" && words.size() == 1) {
        if (forms > 0 || showZero)
            badUsage("metrics takes no --xml, --json, --dump or --showzero");
    } else if ((what == "earliest" || what == "latest" || what == "all") && words.size() == 2) {
        type = words[1];
    } else if (what == "at" && words.size() == 3) {
        if (!parseStamp(words[1], &stamp))
            badUsage("not a timestamp of 32 bits: " + words[1]);
        type = words[2];
    } else if (what == "rate" && words.size() == 2) {
        type = words[1];
        if (showZero || (forms > 0 && form != Form::Json))
            badUsage("rate takes only --json as a form");
        if (fromGiven && toGiven && from >= to)
            badUsage("--from must be earlier than --to");
    } else if (what == "watch" && words.size() >= 3) {
        type = words[1];
        if (forms > 0 || showZero)
            badUsage("watch takes no --xml, --json, --dump or --showzero");
    } else {
        badUsage("unknown request or wrong number of words");
    }
    if (!type.empty() && !isType(type))
        badUsage("unknown record type " + type);
    const std::string& host = g_host;

    CLIENT* c = localTcpClient(host.c_str(), RPCPROG_TOLMSTATSD, TOLMSTATS_RPC_VERSION_1);
    if (!c) {
        fprintf(stderr, "%s\ntolmstat: is tolmstatsd running on %s?\n",
                clnt_spcreateerror("tolmstat"), host.c_str());
        return kUnreachable;
    }
    int rc = 1;
    if (what == "timestamps") {
        for (unsigned int t : timestamps(c))
            printf("%u %s\n", t, stampName(static_cast<int32_t>(t)).c_str());
        rc = 0;
    } else if (what == "metrics") {
        rc = metrics(c);
    } else if (what == "rate") {
        rc = rate(c, type, from, to, form == Form::Json && forms > 0);
    } else if (what == "watch") {
        rc = watch(c, type, std::vector<std::string>(words.begin() + 2, words.end()),
                   interval > 0 ? static_cast<unsigned int>(interval) : 5, count);
    } else if (type == "nblade") {
        rc = query<NbladeStats, NbladeStatsArray>(c, 1, what, stamp, form, showZero);
    } else if (type == "dblade") {
        rc = query<DbladeStats, DbladeStatsArray>(c, 5, what, stamp, form, showZero);
    } else if (type == "lp") {
        rc = query<LpStatsSet, LpStatsSetArray>(c, 9, what, stamp, form, showZero);
    } else if (type == "fcd") {
        rc = query<FcdStats, FcdStatsArray>(c, 13, what, stamp, form, showZero);
    } else if (type == "mgmtproc") {
        rc = query<MgmtProcStats, MgmtProcStatsArray>(c, 17, what, stamp, form, showZero);
    }
    clnt_destroy(c);
    return rc;
}
