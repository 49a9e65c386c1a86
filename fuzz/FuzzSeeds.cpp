// Writes the seed corpora of the fuzz targets, made by the project's own
// writers: fuzz_seeds DIR makes DIR/records, DIR/statsfile, DIR/status,
// DIR/replies, DIR/query and DIR/rf, one file per seed. The first byte of a
// seed selects what the target feeds it to, as each target describes.

#include <rpc/rpc.h>
#include <sys/stat.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "RecordTestUtil.h"
#include "RecordXdr.h"
#include "RfPthread.h"
#include "SimKernelFiles.h"
#include "SimNbladeFiles.h"
#include "TolmStatsSvr.h"
#include "XdrSerializer.h"
#include "fcd.h"
#include "lpm.h"
#include "nbstream.h"
#include "vol.h"

namespace {

using Seed = std::vector<uint8_t>;

std::string g_dir;
int g_count = 0;

void save(const std::string& target, const Seed& seed) {
    std::string dir = g_dir + "/" + target;
    mkdir(dir.c_str(), 0755);
    std::ofstream out(dir + "/seed" + std::to_string(g_count++), std::ios::binary);
    out.write(reinterpret_cast<const char*>(seed.data()),
              static_cast<std::streamsize>(seed.size()));
}

// Encodes with an XDR writer into a seed that starts with `selector`.
template <typename F>
Seed xdrSeed(uint8_t selector, F encode) {
    std::vector<char> buf(1 << 20);
    XDR x;
    xdrmem_create(&x, buf.data(), static_cast<u_int>(buf.size()), XDR_ENCODE);
    encode(&x);
    Seed seed(1, selector);
    seed.insert(seed.end(), buf.begin(), buf.begin() + xdr_getpos(&x));
    xdr_destroy(&x);
    return seed;
}

void recordSeeds() {
    Filler f(5);
    NbladeStats nb;
    fillNblade(nb, f);
    save("records", xdrSeed(0, [&](XDR* x) {
             XdrSerializer s(x);
             nb.serialize(s, 0xFFFFFFFFu);
         }));
    DbladeStats db;
    fillDblade(db, f);
    save("records", xdrSeed(1, [&](XDR* x) {
             XdrSerializer s(x);
             db.serialize(s, 0xFFFFFFFFu);
         }));
    LpStatsSet lp;
    fillLpSetData(lp, f);
    lp.addLpStats(makeLp(f, "pool", 2));
    save("records", xdrSeed(2, [&](XDR* x) {
             XdrSerializer s(x);
             lp.serialize(s);
         }));
    FcdStats fcd;
    fillFcdData(fcd, f);
    save("records", xdrSeed(3, [&](XDR* x) {
             XdrSerializer s(x);
             fcd.serialize(s);
         }));
    MgmtProcStats m;
    fillMgmt(m, f);
    save("records", xdrSeed(4, [&](XDR* x) {
             XdrSerializer s(x);
             m.serialize(s, 0xFFFFFFFFu);
         }));
}

Seed fileSeed(uint8_t selector, const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    Seed seed(1, selector);
    seed.insert(seed.end(), std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return seed;
}

void statsFileSeeds() {
    char pattern[] = "/tmp/tolmseeds.XXXXXX";
    std::string dir = mkdtemp(pattern);
    SimNbladeFiles::write(dir, 7);
    // The target's order: bcp, bcptime, then the other twelve as the kernel
    // table lists them.
    uint8_t selector = 0;
    for (const SimKernelFile& file : kSimKernelFiles) {
        save("statsfile", fileSeed(selector, dir + "/" + file.fileName));
        selector += selector == 0 ? 2 : 1;
        remove((dir + "/" + file.fileName).c_str());
    }
    save("statsfile", fileSeed(1, dir + "/bcptime"));
    remove((dir + "/bcptime").c_str());
    rmdir(dir.c_str());
}

void statusSeeds() {
    Seed self = fileSeed(0, "/proc/self/status");
    save("status", Seed(self.begin() + 1, self.end()));
    std::string text = "Name:\tTomcat\nPPid:\t1\nVmSize:\t  1234 kB\nVmRSS:\t 99 kB\n";
    save("status", Seed(text.begin(), text.end()));
}

template <typename T>
void replySeed(uint8_t selector, bool_t (*routine)(XDR*, T*), T& value) {
    save("replies", xdrSeed(selector, [&](XDR* x) { routine(x, &value); }));
}

void replySeeds() {
    rpcStreamCifsStatsRes stream = {};
    unsigned int words[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    stream.error = 0;
    stream.rpcStreamCifsStatsRes_u.result.DataOut.DataOut_len = 8;
    stream.rpcStreamCifsStatsRes_u.result.DataOut.DataOut_val = words;
    replySeed(0, xdr_rpcStreamCifsStatsRes, stream);
    LPGetAllOut pools = {};
    replySeed(1, xdr_LPGetAllOut, pools);
    LPVFSListOut vfses = {};
    replySeed(2, xdr_LPVFSListOut, vfses);
    LPStats64Out lpStats = {};
    replySeed(3, xdr_LPStats64Out, lpStats);
    VolGetStatsOut64_v2_t vol = {};
    replySeed(4, xdr_VolGetStatsOut64_v2_t, vol);
    Fcd_getStats64Result_t fcd = {};
    replySeed(5, xdr_Fcd_getStats64Result_t, fcd);
}

void querySeeds() {
    for (unsigned int proc = 0; proc <= 22; proc++) {
        Seed seed = xdrSeed(0, [&](XDR* x) {
            rpc_msg call = {};
            call.rm_xid = proc;
            call.rm_direction = CALL;
            call.rm_call.cb_rpcvers = 2;
            call.rm_call.cb_prog = RPCPROG_TOLMSTATSD;
            call.rm_call.cb_vers = TOLMSTATS_RPC_VERSION_1;
            call.rm_call.cb_proc = proc;
            call.rm_call.cb_cred.oa_flavor = AUTH_NONE;
            call.rm_call.cb_verf.oa_flavor = AUTH_NONE;
            xdr_callmsg(x, &call);
            unsigned int timestamp = 101;
            if (proc % 4 == 3)
                xdr_u_int(x, &timestamp);
        });
        save("query", Seed(seed.begin() + 1, seed.end()));
    }
}

void appendDatagram(Seed& seed, const RfHeader& h, const Seed& body) {
    uint8_t bytes[RF_HEADER_SIZE];
    uint32_t fields[] = {h.connIdDest, h.connIdSrc, h.sequence,   h.sequenceAck,
                         h.channelId,  h.call,      h.interfaceId};
    bytes[0] = h.flags;
    bytes[1] = h.fragment;
    bytes[2] = static_cast<uint8_t>(h.window);
    bytes[3] = static_cast<uint8_t>(h.window >> 8);
    for (int i = 0; i < 7; i++)
        for (int b = 0; b < 4; b++)
            bytes[4 + 4 * i + b] = static_cast<uint8_t>(fields[i] >> (8 * b));
    size_t length = RF_HEADER_SIZE + body.size();
    seed.push_back(static_cast<uint8_t>(length));
    seed.push_back(static_cast<uint8_t>(length >> 8));
    seed.insert(seed.end(), bytes, bytes + RF_HEADER_SIZE);
    seed.insert(seed.end(), body.begin(), body.end());
}

void rfSeeds() {
    // A client binding to the engine's server and calling it; an
    // acknowledgement with a list; a timer step; a reset.
    Seed seed;
    Seed identity(16, 0x11);
    appendDatagram(seed, RfHeader{RF_TYPE_BIND, 0, 64, 0, 700, 5000, 5000, 0, 0, 0}, identity);
    appendDatagram(seed, RfHeader{RF_FLAG_LAST | RF_TYPE_DATA, 0, 64, 0, 700, 5000, 5000, 1, 1, 9},
                   Seed{'h', 'i'});
    appendDatagram(seed, RfHeader{RF_FLAG_LAST | RF_TYPE_DATA, 0, 64, 0, 700, 5002, 5000, 2, 1, 9},
                   Seed{'l', 'a', 't', 'e'});
    appendDatagram(seed, RfHeader{RF_FLAG_EXTENSION | RF_TYPE_ACK, 0, 64, 0, 700, 0, 5001, 0, 0, 0},
                   Seed{2, 0, 0, 0, 1, 0, 0, 0, 0x89, 0x13, 0, 0});
    seed.push_back(0);
    seed.push_back(0);
    appendDatagram(seed, RfHeader{RF_FLAG_EXTENSION | RF_TYPE_ACK, 0, 0, 1, 700, 0, 0, 0, 0, 0},
                   Seed{1, 0, 0, 0});
    save("rf", seed);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    g_dir = argv[1];
    mkdir(g_dir.c_str(), 0755);
    recordSeeds();
    statsFileSeeds();
    statusSeeds();
    replySeeds();
    querySeeds();
    rfSeeds();
    printf("%d seeds under %s\n", g_count, g_dir.c_str());
    return 0;
}
