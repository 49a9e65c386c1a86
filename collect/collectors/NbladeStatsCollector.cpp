#include "NbladeStatsCollector.h"

#include <cstring>
#include <ctime>

NbladeStatsCollector* NbladeStatsCollector::instance = nullptr;

NbladeStatsCollector::NbladeStatsCollector(const std::string& dir, const std::string& host)
    : bcp(dir + BcpNbladeStatsCollector::FILE_NAME),
      bcptime(dir + BcptimeNbladeStatsCollector::FILE_NAME),
      cifs(host),
      exports(dir + ExportsNbladeStatsCollector::FILE_NAME),
      leaseConn(dir + LeaseConnNbladeStatsCollector::FILE_NAME),
      mountCache(dir + MountCacheNbladeStatsCollector::FILE_NAME),
      mountpointCache(dir + MountpointCacheNbladeStatsCollector::FILE_NAME),
      nfs(host),
      packet(dir + PacketNbladeStatsCollector::FILE_NAME),
      ra(dir + RaNbladeStatsCollector::FILE_NAME),
      replayCache(dir + ReplayCacheNbladeStatsCollector::FILE_NAME),
      rootCache(dir + RootCacheNbladeStatsCollector::FILE_NAME),
      scp(dir + ScpNbladeStatsCollector::FILE_NAME),
      sidCache(dir + SidCacheNbladeStatsCollector::FILE_NAME),
      tolmXmitDescs(dir + TolmXmitDescsNbladeStatsCollector::FILE_NAME),
      transport(dir + TransportNbladeStatsCollector::FILE_NAME) {}

NbladeStats* NbladeStatsCollector::collect() {
    if (instance == nullptr) {
        instance = new NbladeStatsCollector();
    }
    NbladeStats* stats = new NbladeStats();
    instance->populate(&stats->data);
    return stats;
}

void NbladeStatsCollector::populate(nblade_data_t* record) {
    fill(record, true);
}

void NbladeStatsCollector::populateFiles(nblade_data_t* record) {
    fill(record, false);
}

void NbladeStatsCollector::fill(nblade_data_t* record, bool withRpc) {
    std::memset(record, 0, sizeof(*record));
    record->version = 1;
    record->mask = 0xFFFFFFFFu;
    record->timestampCreated = static_cast<int32_t>(time(nullptr));
    bcp.populate(record);
    bcptime.populate(record);
    if (withRpc) {
        cifs.populate(record);
    }
    exports.populate(record);
    leaseConn.populate(record);
    mountCache.populate(record);
    mountpointCache.populate(record);
    if (withRpc) {
        nfs.populate(record);
    }
    packet.populate(record);
    ra.populate(record);
    replayCache.populate(record);
    rootCache.populate(record);
    scp.populate(record);
    sidCache.populate(record);
    tolmXmitDescs.populate(record);
    transport.populate(record);
    record->timestampCompleted = static_cast<int32_t>(time(nullptr));
}
