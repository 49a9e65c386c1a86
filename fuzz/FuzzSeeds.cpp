// Writes the seed corpora of the fuzz targets, made by the project's own
// writers: fuzz_seeds DIR makes DIR/records, DIR/statsfile, DIR/status,
// DIR/replies, DIR/query, DIR/rf, DIR/dblade and DIR/location, one file per
// seed. The first byte of a
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
#include "SimDirSegments.h"
#include "SimKernelFiles.h"
#include "SimNbladeFiles.h"
#include "TolmFsReply.h"
#include "TolmFsRequest.h"
#include "TolmStatsSvr.h"
#include "XdrSerializer.h"
#include "dldb.h"
#include "fcd.h"
#include "lpm.h"
#include "nbstream.h"
#include "vldb.h"
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

// D-blade replies of each form (the selector's low bits pick the operation
// in the target's table: 0 getAttr, 2 lookup, 4 readMountPoint, 5 read,
// 6 readDir, 7 create), directory reads in both segment headers, and one
// request of each kind the simulated D-blade parses (selector bit 7).
void dbladeSeeds() {
    auto withSelector = [](uint8_t selector, const std::vector<uint8_t>& bytes) {
        Seed seed(1, selector);
        seed.insert(seed.end(), bytes.begin(), bytes.end());
        return seed;
    };
    tolm_attr_t attr = {};
    attr.filetype = 2;
    attr.length = 4096;
    TolmFsReply plain;
    plain.putWord(TolmFsReply::success(0, false));
    plain.putAttr(attr);
    save("dblade", withSelector(0, plain.bytes()));
    TolmFsReply lookup;
    lookup.putWord(TolmFsReply::failure(257));
    lookup.putFid(tolm_fid_t{100, 1000, 1});
    lookup.putAttr(attr);
    lookup.putCounted("../elsewhere/file");
    save("dblade", withSelector(2, lookup.bytes()));
    TolmFsReply mount = plain;
    mount.putWord(27);
    mount.putWord(0);
    mount.putCounted("tolm.stats_");
    save("dblade", withSelector(4, mount.bytes()));
    TolmFsReply read;
    read.putWord(TolmFsReply::success(10, true));
    read.putAttr(attr);
    read.putBytes("0123456789", 10);
    save("dblade", withSelector(5, read.bytes()));
    TolmFsReply made;
    made.putWord(0);
    made.putWord(0);
    made.putFid(tolm_fid_t{100, 1001, 1});
    made.putAttr(attr);
    save("dblade", withSelector(7, made.bytes()));
    std::vector<SimDirSegments::Name> names;
    for (int i = 0; i < 40; i++)
        names.push_back(
            {std::string(static_cast<size_t>(5 + i * 3), static_cast<char>('a' + i % 26)),
             static_cast<uint32_t>(1000 + i), 1, 0});
    for (auto header : {SimDirSegments::Header::Narrow, SimDirSegments::Header::Wide}) {
        auto segments = SimDirSegments::pack(names, header);
        TolmFsReply dir;
        dir.putWord(TolmFsReply::success(static_cast<uint32_t>(segments.size()), true));
        dir.putAttr(attr);
        for (size_t i = 0; i < segments.size() && i < 4; i++)
            dir.putBytes(segments[i].data(), segments[i].size());
        save("dblade", withSelector(6, dir.bytes()));
    }
    TolmFsRequest write(TolmFsOps::write);
    write.setFid(TolmFsParam::Fid, tolm_fid_t{100, 1001, 1});
    write.setU64(TolmFsParam::Offset, 8192);
    write.set(TolmFsParam::Count, 4);
    write.data = reinterpret_cast<const uint8_t*>("data");
    write.dataLength = 4;
    save("dblade", withSelector(0x80, write.encode()));
    TolmFsRequest rename(TolmFsOps::rename);
    rename.sourceName = "from";
    rename.targetName = "to";
    rename.set(TolmFsParam::NameLength, 4);
    rename.set(TolmFsParam::TargetNameLength, 2);
    save("dblade", withSelector(0x80, rename.encode()));
    TolmFsRequest getAttr(TolmFsOps::getAttr);
    save("dblade", withSelector(0x80, getAttr.encode()));
}

// VLDB and DLDB replies (selector: 0 stream_vfsid_lookup, 1
// stream_mount_lookup, 2 DLDB host, 3 record lookup).
void locationSeeds() {
    u_short dblades[2] = {1, 2};
    stream_vfsid_lookup_result byId = {};
    byId.dblade_id.dblade_id_len = 2;
    byId.dblade_id.dblade_id_val = dblades;
    save("location", xdrSeed(0, [&](XDR* x) { xdr_stream_vfsid_lookup_result(x, &byId); }));
    stream_mount_lookup_result byName = {};
    byName.vfsid = 100;
    byName.dblade_id.dblade_id_len = 1;
    byName.dblade_id.dblade_id_val = dblades;
    save("location", xdrSeed(1, [&](XDR* x) { xdr_stream_mount_lookup_result(x, &byName); }));
    char host[] = "node1";
    DldbAddr addr = {};
    addr.port = 7700;
    addr.name = host;
    DldbGetRes dldb = {};
    dldb.status = DLDB_STATUS_NODE_UNHEALTHY;
    dldb.host.host_len = 1;
    dldb.host.host_val = &addr;
    save("location", xdrSeed(2, [&](XDR* x) { xdr_DldbGetRes(x, &dldb); }));
    char family[] = "stats";
    char vfsname[] = "tolm.stats_";
    Rec rec = {};
    rec.vfsid = 100;
    rec.family = family;
    rec.vfsname = vfsname;
    vldb_record_lookup_result records = {};
    records.r.r_len = 1;
    records.r.r_val = &rec;
    save("location", xdrSeed(3, [&](XDR* x) { xdr_vldb_record_lookup_result(x, &records); }));
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
    dbladeSeeds();
    locationSeeds();
    printf("%d seeds under %s\n", g_count, g_dir.c_str());
    return 0;
}
