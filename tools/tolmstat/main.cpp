// tolmstat: queries the snapshot history of a running tolmstatsd.

#include <rpc/rpc.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LocalRpcClient.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "RecordXdr.h"
#include "SerializationException.h"
#include "SignalMgr.h"
#include "StatsArrays.h"
#include "TolmStatsSvr.h"
#include "XdrDeserializer.h"
#include "XmlRenderer.h"
#include "XmlToJson.h"

namespace {

const char* kUsage =
    "usage: tolmstat [--host H] timestamps\n"
    "       tolmstat [--host H] earliest|latest TYPE [--xml | --json | --dump] [--showzero]\n"
    "       tolmstat [--host H] at TIMESTAMP TYPE [--xml | --json | --dump] [--showzero]\n"
    "       tolmstat [--host H] all TYPE [--xml | --json | --dump] [--showzero]\n"
    "TYPE is one of nblade, dblade, lp, fcd, mgmtproc. Records print as XML by default,\n"
    "with zero statistics left out unless --showzero. TIMESTAMP is the number or the\n"
    "local-time form that timestamps prints (20261206-235948).\n"
    "Exit status: 0; 1 no such snapshot; 2 usage error; 3 tolmstatsd not reached.\n";

enum class Form { Xml, Json, Dump };

const timeval kTimeout = {25, 0};

template <typename F>
xdrproc_t xp(F f) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(f));
}

class StringRenderer : public XmlRenderer {
  public:
    using XmlRenderer::out;
    void out(const char* s) override { text += s; }
    std::string text;
};

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
std::string jsonOf(R& rec) {
    StringRenderer r;
    rec.toXml(r);
    return xmlToJson(r.text);
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
            printf("%s\n", jsonOf(rec).c_str());
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
                       jsonOf(all[i].second).c_str());
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
    unsigned long proc = what == "earliest" ? first : what == "latest" ? first + 1 : first + 2;
    // A record that does not come back leaves this marker in place.
    unsigned int present = 0;
    R rec;
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
            XdrDeserializer d(x);
            r->rec->deserialize(d);
        } catch (SerializationException&) {
            return FALSE;
        }
        return TRUE;
    };
    bool_t (*decodeFn)(XDR*, void*) = decode;
    enum clnt_stat st = proc == first + 2
                            ? clnt_call(c, proc, xp(xdr_u_int), reinterpret_cast<caddr_t>(&stamp),
                                        xp(decodeFn), reinterpret_cast<caddr_t>(&reply), kTimeout)
                            : clnt_call(c, proc, xp(xdr_void), nullptr, xp(decodeFn),
                                        reinterpret_cast<caddr_t>(&reply), kTimeout);
    if (st != RPC_SUCCESS)
        rpcFailure(c);
    if (!present) {
        fprintf(stderr, "tolmstat: no snapshot\n");
        return kNoSnapshot;
    }
    return print(rec, form, showZero) ? 0 : kUsageError;
}

}  // namespace

int main(int argc, char** argv) {
    Form form = Form::Xml;
    int forms = 0;
    bool showZero = false;
    std::vector<std::string> words;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--help")
            usage(stdout, 0);
        if (a == "--host") {
            if (i + 1 >= argc)
                badUsage("--host needs a host name");
            g_host = argv[++i];
        } else if (a == "--xml" || a == "--json" || a == "--dump") {
            form = a == "--xml" ? Form::Xml : a == "--json" ? Form::Json : Form::Dump;
            forms++;
        } else if (a == "--showzero") {
            showZero = true;
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
    if (what == "timestamps" && words.size() == 1) {
        if (forms > 0 || showZero)
            badUsage("timestamps takes no --xml, --json, --dump or --showzero");
    } else if ((what == "earliest" || what == "latest" || what == "all") && words.size() == 2) {
        type = words[1];
    } else if (what == "at" && words.size() == 3) {
        if (!parseStamp(words[1], &stamp))
            badUsage("not a timestamp of 32 bits: " + words[1]);
        type = words[2];
    } else {
        badUsage("unknown request or wrong number of words");
    }
    if (!type.empty() && type != "nblade" && type != "dblade" && type != "lp" && type != "fcd" &&
        type != "mgmtproc")
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
        std::vector<unsigned int> ts;
        if (clnt_call(c, 21, xp(xdr_void), nullptr, xp(xdr_U32Vector),
                      reinterpret_cast<caddr_t>(&ts), kTimeout) != RPC_SUCCESS)
            rpcFailure(c);
        for (unsigned int t : ts)
            printf("%u %s\n", t, stampName(static_cast<int32_t>(t)).c_str());
        rc = 0;
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
