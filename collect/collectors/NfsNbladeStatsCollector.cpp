#include "NfsNbladeStatsCollector.h"

#include "nbstream.h"

namespace {

// Where each protocol's success counts start in the counter array.
constexpr unsigned int NFS2_BASE = 0;
constexpr unsigned int NFS3_BASE = 18;
constexpr unsigned int MOUNT_BASE = 40;
constexpr unsigned int LOCK_BASE = 48;
constexpr unsigned int SESSION_MONITOR_BASE = 58;

// The NFS version 3 pairs by procedure number, which is not their order in
// the record.
success_fail_t nb_nfs3_data_t::*const NFS3_BY_PROCEDURE[] = {
    &nb_nfs3_data_t::nullop, &nb_nfs3_data_t::getAttr, &nb_nfs3_data_t::setAttr,
    &nb_nfs3_data_t::lookUp, &nb_nfs3_data_t::access,  &nb_nfs3_data_t::readLink,
    &nb_nfs3_data_t::read,   &nb_nfs3_data_t::write,   &nb_nfs3_data_t::create,
    &nb_nfs3_data_t::mkDir,  &nb_nfs3_data_t::symLink, &nb_nfs3_data_t::mkNod,
    &nb_nfs3_data_t::remove, &nb_nfs3_data_t::rmDir,   &nb_nfs3_data_t::rename,
    &nb_nfs3_data_t::link,   &nb_nfs3_data_t::readDir, &nb_nfs3_data_t::readDirPlus,
    &nb_nfs3_data_t::fsStat, &nb_nfs3_data_t::fsInfo,  &nb_nfs3_data_t::pathConf,
    &nb_nfs3_data_t::commit,
};

}  // namespace

void NfsNbladeStatsCollector::populate(nblade_data_t* record) {
    record->_nfsStatsRpcStatus = static_cast<uint32_t>(query(
        STREAM_STATS_NFS_COUNTS, EXPECTED_BYTES, "Stat size mismatch for NFS: %d != %d", record));
}

void NfsNbladeStatsCollector::copyCounters(const unsigned int* words, nblade_data_t* record) {
    auto pair = [words](unsigned int index, success_fail_t& dst) {
        dst.succeeded = counter64(words, index);
        dst.failed = counter64(words, index + FAILED_OFFSET);
    };
    unsigned int index;
    // For these protocols the record lists the procedures in procedure order.
#define NFS_PAIR(type, name, ...) pair(index++, section.name);
    {
        index = NFS2_BASE;
        nb_nfs2_data_t& section = record->nfs2;
        NB_NFS2_FIELDS(NFS_PAIR)
    }
    {
        index = MOUNT_BASE;
        nb_mount_data_t& section = record->mount;
        NB_MOUNT_FIELDS(NFS_PAIR)
    }
    {
        index = LOCK_BASE;
        nb_lock_data_t& section = record->lock;
        NB_LOCK_FIELDS(NFS_PAIR)
    }
    {
        index = SESSION_MONITOR_BASE;
        nb_session_monitor_data_t& section = record->sessionMonitor;
        NB_SESSION_MONITOR_FIELDS(NFS_PAIR)
    }
#undef NFS_PAIR
    index = NFS3_BASE;
    for (auto member : NFS3_BY_PROCEDURE) {
        pair(index++, record->nfs3.*member);
    }
}
