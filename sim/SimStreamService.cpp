#include "SimStreamService.h"

#include <arpa/inet.h>
#include <rpc/pmap_clnt.h>
#include <rpc/rpc.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <vector>

#include "SmbStatsLayout.h"
#include "nbstream.h"

extern "C" void nbstream_program_1(struct svc_req* rqstp, SVCXPRT* transp);

namespace {

std::mutex g_lock;
SimStreamService::Options g_options;
SVCXPRT* g_xprt = nullptr;
uint32_t g_requests = 0;
std::chrono::steady_clock::time_point g_started;
// The reply handed to the RPC library; its words stay valid until the next one.
rpcStreamCifsStatsRes g_res;
std::vector<unsigned int> g_words;

uint64_t currentTick() {
    if (g_options.fixedTick >= 0) return static_cast<uint64_t>(g_options.fixedTick);
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(
                                     std::chrono::steady_clock::now() - g_started)
                                     .count());
}

void put64(std::vector<unsigned int>& words, uint64_t v) {
    words.push_back(static_cast<unsigned int>(v));
    words.push_back(static_cast<unsigned int>(v >> 32));
}

void fillNfs(std::vector<unsigned int>& words, uint64_t tick) {
    for (uint32_t k = 0; k < SimStreamService::NFS_WORDS / 2; k++)
        put64(words, SimStreamService::counterValue(k, tick));
}

// SmbStats field i: a 64-bit counter takes counterValue(i), a 32-bit field
// wordValue of its word position.
void fillCifs(std::vector<unsigned int>& words, uint64_t tick) {
    uint32_t index = 0;
#define SMB_FILL(type, name)                                                           \
    if (sizeof(type) == 8)                                                             \
        put64(words, SimStreamService::counterValue(index, tick));                     \
    else                                                                               \
        words.push_back(SimStreamService::wordValue(static_cast<uint32_t>(words.size()), tick)); \
    index++;
    SMB_STATS_FIELDS(SMB_FILL)
#undef SMB_FILL
}

}  // namespace

bool SimStreamService::start(const Options& options) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_options = options;
    g_requests = 0;
    g_started = std::chrono::steady_clock::now();
    if (g_xprt) return true;
    g_xprt = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (!g_xprt) return false;
    pmap_unset(NBSTREAM_PROGRAM, NBSTREAM_VERSION);
    if (!svc_register(g_xprt, NBSTREAM_PROGRAM, NBSTREAM_VERSION, nbstream_program_1,
                      IPPROTO_TCP)) {
        svc_destroy(g_xprt);
        g_xprt = nullptr;
        return false;
    }
    return true;
}

void SimStreamService::stop() {
    std::lock_guard<std::mutex> lk(g_lock);
    if (!g_xprt) return;
    svc_unregister(NBSTREAM_PROGRAM, NBSTREAM_VERSION);
    svc_destroy(g_xprt);
    g_xprt = nullptr;
}

void SimStreamService::setOptions(const Options& options) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_options = options;
}

uint32_t SimStreamService::requests() {
    std::lock_guard<std::mutex> lk(g_lock);
    return g_requests;
}

extern "C" rpcStreamCifsStatsRes* nbstream_get_stats_1_svc(rpcStreamCifsStatsReq* req,
                                                           struct svc_req*) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_requests++;
    memset(&g_res, 0, sizeof(g_res));
    if (g_options.error != 0) {
        g_res.error = g_options.error;
        return &g_res;
    }
    uint64_t tick = currentTick();
    g_words.clear();
    if (req->StatType == STREAM_STATS_NFS_COUNTS)
        fillNfs(g_words, tick);
    else if (req->StatType == STREAM_STATS_CIFS_COUNTS)
        fillCifs(g_words, tick);
    if (!g_words.empty()) {
        int32_t n = static_cast<int32_t>(g_words.size()) + g_options.wordDelta;
        g_words.resize(n > 0 ? static_cast<size_t>(n) : 0, 0);
    }
    rpcStreamCifsStatsResponse& r = g_res.rpcStreamCifsStatsRes_u.result;
    r.StatType = req->StatType;
    r.StatVersion = 1;
    // Words in the other byte order are flagged by the top bit of the control
    // word as the collector reads it (after network-to-host conversion).
    r.StatControlWord = g_options.swapped ? htonl(0x80000000u) : 0;
    if (g_options.swapped)
        for (unsigned int& w : g_words) w = __builtin_bswap32(w);
    r.DataOut.DataOut_len = static_cast<u_int>(g_words.size());
    r.DataOut.DataOut_val = g_words.data();
    return &g_res;
}
