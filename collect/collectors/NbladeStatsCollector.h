#pragma once

#include <string>

#include "BcpNbladeStatsCollector.h"
#include "BcptimeNbladeStatsCollector.h"
#include "CifsNbladeStatsCollector.h"
#include "ExportsNbladeStatsCollector.h"
#include "LeaseConnNbladeStatsCollector.h"
#include "LocalRpc.h"
#include "MountCacheNbladeStatsCollector.h"
#include "MountpointCacheNbladeStatsCollector.h"
#include "NbladeStats.h"
#include "NfsNbladeStatsCollector.h"
#include "PacketNbladeStatsCollector.h"
#include "RaNbladeStatsCollector.h"
#include "ReplayCacheNbladeStatsCollector.h"
#include "RootCacheNbladeStatsCollector.h"
#include "ScpNbladeStatsCollector.h"
#include "SidCacheNbladeStatsCollector.h"
#include "TolmXmitDescsNbladeStatsCollector.h"
#include "TransportNbladeStatsCollector.h"

// Produces one complete N-blade statistics record per collection from the
// fourteen statistics files and the two counter sets of the stream service.
class NbladeStatsCollector {
  public:
    // `dir` is the statistics-file directory (ending in a slash), `host` the
    // host of the stream statistics service.
    explicit NbladeStatsCollector(const std::string& dir = NBLADE_STATS_DIR,
                                  const std::string& host = LOCAL_RPC_HOST);
    NbladeStatsCollector(const NbladeStatsCollector&) = delete;
    NbladeStatsCollector& operator=(const NbladeStatsCollector&) = delete;

    // A new record of the daemon's N-blade; the caller owns it. The single
    // collector behind it is made on the first call and lives for the process.
    static NbladeStats* collect();

    // Clears `record` and fills it from every source; a failing source leaves
    // its fields zero or a status word, it never stops the others.
    void populate(nblade_data_t* record);
    // The same without the two RPC collectors.
    void populateFiles(nblade_data_t* record);

    BcpNbladeStatsCollector bcp;
    BcptimeNbladeStatsCollector bcptime;
    CifsNbladeStatsCollector cifs;
    ExportsNbladeStatsCollector exports;
    LeaseConnNbladeStatsCollector leaseConn;
    MountCacheNbladeStatsCollector mountCache;
    MountpointCacheNbladeStatsCollector mountpointCache;
    NfsNbladeStatsCollector nfs;
    PacketNbladeStatsCollector packet;
    RaNbladeStatsCollector ra;
    ReplayCacheNbladeStatsCollector replayCache;
    RootCacheNbladeStatsCollector rootCache;
    ScpNbladeStatsCollector scp;
    SidCacheNbladeStatsCollector sidCache;
    TolmXmitDescsNbladeStatsCollector tolmXmitDescs;
    TransportNbladeStatsCollector transport;

  private:
    void fill(nblade_data_t* record, bool withRpc);

    static NbladeStatsCollector* instance;
};
