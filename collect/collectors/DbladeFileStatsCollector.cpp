#include "DbladeFileStatsCollector.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

const char* dbladeDevice = "/proc/tolmdblade";

namespace {

// Where the sections of the kernel block start. The cumulative part `c` is
// bytes 0-1131, the non-cumulative part `nc` bytes 1132-1247.
constexpr size_t K_RF = 0;
constexpr size_t K_BMAP = 32;
constexpr size_t K_BMAP_LEN = 188;
constexpr size_t K_PIO = 220;
constexpr size_t K_NORMAL_INODE_LRU = 236;
constexpr size_t K_READDIR_LRU = 272;
constexpr size_t K_SMALL_FILE_LRU = 308;
constexpr size_t K_LARGE_FILE_LRU = 344;
constexpr size_t K_DIRECTORY_LRU = 380;
constexpr size_t K_META_DATA_LRU = 416;
constexpr size_t K_DNLC = 452;
constexpr size_t K_BKUP = 464;
constexpr size_t K_BKUP_LEN = 60;
constexpr size_t K_FAILOVER = 524;
// The kernel's operation counters, 44 of 64 bits, then the data-mover figures.
constexpr size_t K_OP_COUNTERS = 652;
constexpr size_t K_DM = 1004;
constexpr size_t K_VOL_RESTORE = 1076;
constexpr size_t K_VOL_RESTORE_LEN = 56;
constexpr size_t K_IDLE_PCT = 1132;
constexpr size_t K_BKUP_NC = 1140;
constexpr size_t K_FAILOVER_NC = 1152;
constexpr size_t K_FAILOVER_NC_HEAD_LEN = 12;
constexpr size_t K_FAILOVER_NC_MAX = 1184;
constexpr size_t K_FAILOVER_NC_MAX_LEN = 24;
constexpr size_t K_BMAP_NC = 1216;
constexpr size_t K_KRQM = 1240;
constexpr size_t K_VOL_RESTORE_NC = 1244;

// The record's inode section: nine data-mover figures, then the operation
// counters.
constexpr size_t INODE_DM_LEN = 9 * sizeof(uint64_t);

static_assert(sizeof(db_bmap_data_t) == K_BMAP_LEN + 24, "bmap is 212 bytes");
static_assert(sizeof(db_bmap_backup_data_t) == K_BKUP_LEN + 12, "bmapBackup is 72 bytes");
static_assert(sizeof(db_failover_data_t) == 104, "failover is 104 bytes");
static_assert(sizeof(db_failover_nc_data_t) ==
                  K_FAILOVER_NC_HEAD_LEN + K_FAILOVER_NC_MAX_LEN,
              "failoverNC is 36 bytes");
static_assert(sizeof(db_pio_data_t) == 16, "pio is 16 bytes");
static_assert(sizeof(db_cache_controller_lru_data_t) == 36, "an LRU is 36 bytes");
static_assert(sizeof(db_directory_cache_data_t) == 12, "the directory cache is 12 bytes");
static_assert(sizeof(db_inode_data_t) == 53 * sizeof(uint64_t), "inode is 424 bytes");
static_assert(sizeof(db_vol_restore_data_t) == K_VOL_RESTORE_LEN + 4, "volRestore is 60 bytes");
static_assert(sizeof(db_rf_data_t) == 32, "rf is 32 bytes");

inline void copyTo(void* dest, const unsigned char* block, size_t offset, size_t len) {
    memcpy(dest, block + offset, len);
}

}  // namespace

void DbladeFileStatsCollector::populate(_dbData* record) {
    unsigned char block[DBLADE_MAIN_STATS_SIZE];
    memset(block, 0, sizeof(block));
    _dbladeIoctlArg inner = {DBLADE_MAIN_STATS_BLOCK, block};
    _dbladeIoctlArg outer = {DBLADE_STATS_AREA, &inner};

    int fd = open(_device.c_str(), O_RDWR);
    if (fd < 0) return;
    // A failing request is not told apart: the zeroed block is copied.
    (void)ioctl(fd, DBLADE_STATS_IOCTL, &outer);
    close(fd);
    copyBlock(block, record);
}

void DbladeFileStatsCollector::copyBlock(const unsigned char* block, _dbData* record) {
    unsigned char* bmap = reinterpret_cast<unsigned char*>(&record->bmap);
    unsigned char* bkup = reinterpret_cast<unsigned char*>(&record->bmapBackup);
    unsigned char* failNC = reinterpret_cast<unsigned char*>(&record->failoverNC);
    unsigned char* restore = reinterpret_cast<unsigned char*>(&record->volRestore);
    unsigned char* inode = reinterpret_cast<unsigned char*>(&record->inode);

    copyTo(&record->rf, block, K_RF, sizeof(record->rf));
    copyTo(bmap, block, K_BMAP, K_BMAP_LEN);
    copyTo(&record->pio, block, K_PIO, sizeof(record->pio));
    copyTo(&record->normalInodeLru, block, K_NORMAL_INODE_LRU, sizeof(record->normalInodeLru));
    copyTo(&record->readdirLru, block, K_READDIR_LRU, sizeof(record->readdirLru));
    copyTo(&record->smallFileLru, block, K_SMALL_FILE_LRU, sizeof(record->smallFileLru));
    copyTo(&record->largeFileLru, block, K_LARGE_FILE_LRU, sizeof(record->largeFileLru));
    copyTo(&record->directoryLru, block, K_DIRECTORY_LRU, sizeof(record->directoryLru));
    copyTo(&record->metaDataLru, block, K_META_DATA_LRU, sizeof(record->metaDataLru));
    copyTo(&record->directoryCache, block, K_DNLC, sizeof(record->directoryCache));
    copyTo(bkup, block, K_BKUP, K_BKUP_LEN);
    // The failover section stops after rxBytesAtSecondary; the kernel's last
    // 24 bytes of it are not kept.
    copyTo(&record->failover, block, K_FAILOVER, sizeof(record->failover));

    // The record's inode section starts with the data-mover figures. Its
    // operation counters start at the kernel's entry 1: entry 0 is not kept,
    // and the last counter takes the word after the kernel's array.
    copyTo(inode, block, K_DM, INODE_DM_LEN);
    copyTo(inode + INODE_DM_LEN, block, K_OP_COUNTERS + sizeof(uint64_t),
           sizeof(record->inode) - INODE_DM_LEN);

    copyTo(restore, block, K_VOL_RESTORE, K_VOL_RESTORE_LEN);

    copyTo(&record->cpu0PctIdle, block, K_IDLE_PCT, sizeof(int32_t));
    copyTo(&record->cpu1PctIdle, block, K_IDLE_PCT + sizeof(int32_t), sizeof(int32_t));
    copyTo(bkup + K_BKUP_LEN, block, K_BKUP_NC, sizeof(record->bmapBackup) - K_BKUP_LEN);
    copyTo(failNC, block, K_FAILOVER_NC, K_FAILOVER_NC_HEAD_LEN);
    copyTo(failNC + K_FAILOVER_NC_HEAD_LEN, block, K_FAILOVER_NC_MAX, K_FAILOVER_NC_MAX_LEN);
    copyTo(bmap + K_BMAP_LEN, block, K_BMAP_NC, sizeof(record->bmap) - K_BMAP_LEN);
    copyTo(&record->krqm.maxRnums, block, K_KRQM, sizeof(uint16_t));
    copyTo(restore + K_VOL_RESTORE_LEN, block, K_VOL_RESTORE_NC,
           sizeof(record->volRestore) - K_VOL_RESTORE_LEN);
}
