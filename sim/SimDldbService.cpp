#include "SimDldbService.h"

#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <cstring>
#include <map>
#include <mutex>

#include "SimRpcConnections.h"
#include "dldb.h"

extern "C" void dldb_program_1(struct svc_req* rqstp, SVCXPRT* transp);

namespace {

struct Address {
    std::string host;
    uint16_t port;
};

std::mutex g_lock;
std::map<uint16_t, Address> g_dblades;
std::map<uint16_t, uint32_t> g_requestsFor;
uint32_t g_requests = 0;
SimDldbService::Options g_options;
SimRpcConnections g_connections;
SVCXPRT* g_xprt = nullptr;

}  // namespace

bool SimDldbService::start() {
    if (g_xprt)
        return true;
    g_xprt = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (!g_xprt)
        return false;
    pmap_unset(DLDB_PROGRAM, DLDB_VERSION_1);
    if (!svc_register(g_xprt, DLDB_PROGRAM, DLDB_VERSION_1, dldb_program_1, IPPROTO_TCP)) {
        svc_destroy(g_xprt);
        g_xprt = nullptr;
        return false;
    }
    return true;
}

void SimDldbService::stop() {
    if (!g_xprt)
        return;
    svc_unregister(DLDB_PROGRAM, DLDB_VERSION_1);
    svc_destroy(g_xprt);
    g_xprt = nullptr;
}

void SimDldbService::setOptions(const Options& options) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_options = options;
    g_requests = 0;
    g_requestsFor.clear();
    g_connections.reset(options.dropRequests);
}

void SimDldbService::addDblade(uint16_t dbladeId, const std::string& host, uint16_t port) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_dblades[dbladeId] = Address{host, port};
}

void SimDldbService::clear() {
    std::lock_guard<std::mutex> lk(g_lock);
    g_dblades.clear();
    g_requestsFor.clear();
    g_requests = 0;
    g_options = Options();
    g_connections.reset(0);
}

uint32_t SimDldbService::requestsFor(uint16_t dbladeId) {
    std::lock_guard<std::mutex> lk(g_lock);
    auto it = g_requestsFor.find(dbladeId);
    return it == g_requestsFor.end() ? 0 : it->second;
}

uint32_t SimDldbService::requests() {
    std::lock_guard<std::mutex> lk(g_lock);
    return g_requests;
}

size_t SimDldbService::connectionsSeen() {
    return g_connections.connectionsSeen();
}

extern "C" {

bool_t gethostbydid_1_svc(Did* did, DldbGetRes* out, struct svc_req* rq) {
    memset(out, 0, sizeof *out);
    {
        std::lock_guard<std::mutex> lk(g_lock);
        g_requests++;
        g_requestsFor[*did]++;
    }
    if (!g_connections.admit(rq))
        return FALSE;
    std::lock_guard<std::mutex> lk(g_lock);
    auto it = g_dblades.find(*did);
    out->status = it == g_dblades.end() ? DLDB_STATUS_NOT_FOUND : DLDB_STATUS_OK;
    if (g_options.forcedStatus >= 0)
        out->status = static_cast<DldbStatus>(g_options.forcedStatus);
    bool withAddress = out->status == DLDB_STATUS_OK || out->status == DLDB_STATUS_NODE_UNHEALTHY;
    if (withAddress && it != g_dblades.end()) {
        DldbAddr* addr = static_cast<DldbAddr*>(calloc(1, sizeof(DldbAddr)));
        addr->port = it->second.port;
        addr->name = strdup(it->second.host.c_str());
        out->host.host_len = 1;
        out->host.host_val = addr;
    }
    return TRUE;
}

int dldb_program_1_freeresult(SVCXPRT*, xdrproc_t xdr_result, caddr_t result) {
    xdr_free(xdr_result, result);
    return 1;
}

}  // extern "C"
