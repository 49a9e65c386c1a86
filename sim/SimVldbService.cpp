#include "SimVldbService.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>

#include "SimRpcConnections.h"
#include "vldb.h"

extern "C" void vldb_program_3(struct svc_req* rqstp, SVCXPRT* transp);

namespace {

// The VLDB's results for what it does not know.
constexpr u_int kNoSuchName = 102;
constexpr u_int kNoSuchVfsid = 105;

struct Vfs {
    uint32_t vfsid;
    uint16_t dbladeId;
};

std::mutex g_lock;
std::map<std::string, Vfs> g_vfs;
SimVldbService::LastLookup g_last;
SimVldbService::Options g_options;
uint32_t g_requests = 0;
SimRpcConnections g_connections;
SVCXPRT* g_xprt = nullptr;
FILE* g_log = nullptr;

void logLine(const std::string& line) {
    if (g_log == nullptr)
        return;
    fprintf(g_log, "%s\n", line.c_str());
    fflush(g_log);
}

u_short* oneDblade(uint16_t id) {
    u_short* ids = static_cast<u_short*>(malloc(sizeof(u_short)));
    ids[0] = id;
    return ids;
}

// Counts the request; false when it is to be dropped.
// Replies of an xid the caller never sent, one every 200 ms, until writing
// to the caller fails: record-marked, accepted, successful, five zero words.
void sendStaleReplies(struct svc_req* rq) {
    int fd = rq->rq_xprt->xp_fd;
    const uint32_t words[] = {htonl(0x80000000u | 44), htonl(0x5A5A5A5Au), htonl(1), 0, 0, 0, 0,
                              0, 0, 0, 0, 0};
    for (;;) {
        if (send(fd, words, sizeof words, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof words))
            return;
        usleep(200 * 1000);
    }
}

bool admit(struct svc_req* rq) {
    bool stale;
    {
        std::lock_guard<std::mutex> lk(g_lock);
        g_requests++;
        stale = g_options.staleRequests > 0;
        if (stale)
            g_options.staleRequests--;
    }
    if (!g_connections.admit(rq))
        return false;
    if (stale) {
        sendStaleReplies(rq);
        return false;
    }
    return true;
}

}  // namespace

bool SimVldbService::start() {
    if (g_xprt)
        return true;
    g_xprt = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (!g_xprt)
        return false;
    pmap_unset(VLDB_PROGRAM, VLDB_VERSION_3);
    if (!svc_register(g_xprt, VLDB_PROGRAM, VLDB_VERSION_3, vldb_program_3, IPPROTO_TCP)) {
        svc_destroy(g_xprt);
        g_xprt = nullptr;
        return false;
    }
    return true;
}

void SimVldbService::stop() {
    if (!g_xprt)
        return;
    svc_unregister(VLDB_PROGRAM, VLDB_VERSION_3);
    svc_destroy(g_xprt);
    g_xprt = nullptr;
}

void SimVldbService::setOptions(const Options& options) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_options = options;
    g_requests = 0;
    g_connections.reset(options.dropRequests);
}

void SimVldbService::setLogFile(const std::string& path) {
    std::lock_guard<std::mutex> lk(g_lock);
    if (g_log != nullptr)
        fclose(g_log);
    g_log = path.empty() ? nullptr : fopen(path.c_str(), "a");
}

void SimVldbService::addVfs(const std::string& name, uint32_t vfsid, uint16_t dbladeId) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_vfs[name] = Vfs{vfsid, dbladeId};
}

void SimVldbService::clear() {
    std::lock_guard<std::mutex> lk(g_lock);
    g_vfs.clear();
    g_last = LastLookup();
    g_options = Options();
    g_requests = 0;
    g_connections.reset(0);
}

SimVldbService::LastLookup SimVldbService::lastLookup() {
    std::lock_guard<std::mutex> lk(g_lock);
    return g_last;
}

uint32_t SimVldbService::requests() {
    std::lock_guard<std::mutex> lk(g_lock);
    return g_requests;
}

size_t SimVldbService::connectionsSeen() {
    return g_connections.connectionsSeen();
}

extern "C" {

bool_t vldb_record_lookup_3_svc(vldb_record_lookup_input* in, vldb_record_lookup_result* out,
                                struct svc_req* rq) {
    memset(out, 0, sizeof *out);
    if (!admit(rq))
        return FALSE;
    std::lock_guard<std::mutex> lk(g_lock);
    g_last.inputMask = in->input_mask;
    g_last.family = in->r.family ? in->r.family : "";
    g_last.vfsname = in->r.vfsname ? in->r.vfsname : "";
    g_last.seen = true;
    if (g_options.forcedResult != 0) {
        out->result = g_options.forcedResult;
        return TRUE;
    }
    auto it = g_vfs.find(g_last.vfsname);
    if (it == g_vfs.end())
        return TRUE;  // result 0 with no record: no such VFS
    Rec* rec = static_cast<Rec*>(calloc(1, sizeof(Rec)));
    rec->vfsid = it->second.vfsid;
    rec->family = strdup("");
    rec->vfsname = strdup(it->first.c_str());
    out->r.r_len = 1;
    out->r.r_val = rec;
    return TRUE;
}

bool_t stream_vfsid_lookup_3_svc(stream_vfsid_lookup_input* in, stream_vfsid_lookup_result* out,
                                 struct svc_req* rq) {
    memset(out, 0, sizeof *out);
    if (!admit(rq))
        return FALSE;
    std::lock_guard<std::mutex> lk(g_lock);
    out->context = in->context;
    logLine("vldb vfsid_lookup vfsid=" + std::to_string(in->vfsid));
    if (g_options.forcedResult != 0) {
        out->result = g_options.forcedResult;
        return TRUE;
    }
    out->result = kNoSuchVfsid;
    for (const auto& v : g_vfs) {
        if (v.second.vfsid != in->vfsid)
            continue;
        out->result = 0;
        out->dblade_id.dblade_id_len = 1;
        out->dblade_id.dblade_id_val = oneDblade(v.second.dbladeId);
        break;
    }
    return TRUE;
}

bool_t stream_mount_lookup_3_svc(stream_mount_lookup_input* in, stream_mount_lookup_result* out,
                                 struct svc_req* rq) {
    memset(out, 0, sizeof *out);
    if (!admit(rq))
        return FALSE;
    std::lock_guard<std::mutex> lk(g_lock);
    out->context = in->context;
    if (g_options.forcedResult != 0) {
        out->result = g_options.forcedResult;
        return TRUE;
    }
    // The name comes with its terminating zero; a name without one is taken whole.
    std::string name(in->mntpt.mntpt_val, strnlen(in->mntpt.mntpt_val, in->mntpt.mntpt_len));
    logLine("vldb mount_lookup name=" + name);
    auto it = g_vfs.find(name);
    if (it == g_vfs.end()) {
        out->result = kNoSuchName;
        return TRUE;
    }
    out->result = 0;
    out->vfsid = it->second.vfsid;
    out->dblade_id.dblade_id_len = 1;
    out->dblade_id.dblade_id_val = oneDblade(it->second.dbladeId);
    return TRUE;
}

int vldb_program_3_freeresult(SVCXPRT*, xdrproc_t xdr_result, caddr_t result) {
    xdr_free(xdr_result, result);
    return 1;
}

}  // extern "C"
