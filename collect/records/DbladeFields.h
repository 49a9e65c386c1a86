#pragma once

// Field lists of the D-blade record. Each list is the one place where a
// sub-record's fields are named: the struct, the binary form, the XML form and
// the dump are all expanded from it. An entry is F(type, name), in wire order,
// with TOLM_GAUGE after the name of a level (a value that goes up and down)
// rather than a count.

#define DB_BMAP_FIELDS(F) \
    F(uint32_t, dreads) \
    F(uint32_t, dwrites) \
    F(uint32_t, ireads) \
    F(uint32_t, iwrites) \
    F(uint32_t, icleans) \
    F(uint32_t, dcleans) \
    F(uint32_t, dfails) \
    F(uint32_t, dcleanFrames) \
    F(uint32_t, allocs) \
    F(uint32_t, allocSplits) \
    F(uint32_t, truncs) \
    F(uint32_t, indirCleans) \
    F(uint32_t, bmapWaits) \
    F(uint32_t, bmapWaitFrames) \
    F(uint32_t, smallCleaned) \
    F(uint32_t, largeCleaned) \
    F(uint32_t, directoryCleaned) \
    F(uint32_t, metaCleaned) \
    F(uint32_t, metaFilled) \
    F(uint32_t, writeScheduled) \
    F(uint32_t, largeWriteFragmented) \
    F(uint32_t, dframeLockedExtra) \
    F(uint32_t, dframePushedback) \
    F(uint32_t, firstAvailPos32) \
    F(uint32_t, firstAvailPos64) \
    F(uint32_t, firstAvailPos96) \
    F(uint32_t, firstAvailPos128) \
    F(uint32_t, firstAvailPos160) \
    F(uint32_t, firstAvailPos192) \
    F(uint32_t, firstAvailPos224) \
    F(uint32_t, firstAvailPos256) \
    F(uint32_t, satisfiedBlkHashPos32) \
    F(uint32_t, satisfiedBlkHashPos64) \
    F(uint32_t, satisfiedBlkHashPos96) \
    F(uint32_t, satisfiedBlkHashPos128) \
    F(uint32_t, satisfiedBlkHashPos160) \
    F(uint32_t, satisfiedBlkHashPos192) \
    F(uint32_t, satisfiedBlkHashPos224) \
    F(uint32_t, satisfiedBlkHashPos256) \
    F(uint32_t, dumpStreamsTotal) \
    F(uint32_t, filesDumped) \
    F(uint32_t, blksRead) \
    F(uint32_t, blksSentLocal) \
    F(uint32_t, blksSentRf) \
    F(uint32_t, scannerDfetches) \
    F(uint32_t, senderCompleted) \
    F(uint32_t, blksSentTcp) \
    F(uint32_t, dumpStreamsLocal) \
    F(uint32_t, dumpStreamsRf) \
    F(uint32_t, senderUnacked) \
    F(uint32_t, senderUnreleased) \
    F(uint32_t, tcpDumps) \
    F(uint32_t, tcpRestores)

#define DB_BMAP_BACKUP_FIELDS(F) \
    F(uint32_t, numInoCatsInQ, TOLM_GAUGE) \
    F(uint32_t, numDirCatsInQ, TOLM_GAUGE) \
    F(uint32_t, numInoCatsQFull) \
    F(uint32_t, numDirCatsQFull) \
    F(uint32_t, numFetchSleeps) \
    F(uint32_t, numDumpSleeps) \
    F(uint32_t, numDumpQEntries, TOLM_GAUGE) \
    F(uint32_t, numTapeRecsPosted) \
    F(uint32_t, numWriteFrames) \
    F(uint32_t, numDBufCacheHits) \
    F(uint32_t, numIBufCacheHits) \
    F(uint32_t, totDIoLatency) \
    F(uint32_t, totChainIoCount) \
    F(uint32_t, totlpOffsetCount) \
    F(uint32_t, totLpOffsetLatency) \
    F(uint32_t, maxInoCatlogDelay, TOLM_GAUGE) \
    F(uint32_t, maxDirCatlogDelay, TOLM_GAUGE) \
    F(uint32_t, numDumpsAvailable, TOLM_GAUGE)

#define DB_FAILOVER_FIELDS(F) \
    F(uint32_t, transCreated) \
    F(uint32_t, buffersTransmitted) \
    F(uint32_t, emptyTrans) \
    F(uint32_t, bytesUnused) \
    F(uint32_t, buffersUsed) \
    F(uint32_t, bytesCopied) \
    F(uint32_t, bytesDMA) \
    F(uint32_t, bytesHeaders) \
    F(uint32_t, lsnStalls) \
    F(uint32_t, dsnStalls) \
    F(uint32_t, createStalls) \
    F(uint32_t, txTrans) \
    F(uint32_t, sentTrans) \
    F(uint32_t, ackedTrans) \
    F(uint32_t, bufTurns) \
    F(uint32_t, bufExhausts) \
    F(uint32_t, totalTime) \
    F(uint32_t, totalTxTime) \
    F(uint32_t, runTime) \
    F(uint32_t, createStall) \
    F(uint32_t, appendTime) \
    F(uint32_t, commitTime) \
    F(uint32_t, accumStall) \
    F(uint32_t, tripDelay) \
    F(uint32_t, buffersReceived) \
    F(uint32_t, rxBytesAtSecondary)

#define DB_FAILOVER_NC_FIELDS(F) \
    F(uint32_t, transCreated) \
    F(uint32_t, buffersTransmitted) \
    F(uint32_t, buffersUsed) \
    F(uint32_t, maxTransCreated, TOLM_GAUGE) \
    F(uint32_t, maxBuffersTransmitted, TOLM_GAUGE) \
    F(uint32_t, maxCommitsWaiting, TOLM_GAUGE) \
    F(uint32_t, maxBuffersUsed, TOLM_GAUGE) \
    F(uint32_t, maxSpaceReserved, TOLM_GAUGE) \
    F(uint32_t, maxSpaceUsed, TOLM_GAUGE)

#define DB_PIO_FIELDS(F) \
    F(uint32_t, rframes) \
    F(uint32_t, rios) \
    F(uint32_t, wframes) \
    F(uint32_t, wios)

#define DB_LRU_FIELDS(F) \
    F(uint32_t, references) \
    F(uint32_t, fills) \
    F(uint32_t, recycles) \
    F(uint32_t, dirtyQuotaWaits) \
    F(uint32_t, emptyWaits) \
    F(uint32_t, dirtyQuota) \
    F(uint32_t, numDirty, TOLM_GAUGE) \
    F(uint32_t, requestCleans) \
    F(uint32_t, numEntries, TOLM_GAUGE)

#define DB_DIRECTORY_CACHE_FIELDS(F) \
    F(uint32_t, refs) \
    F(uint32_t, hits) \
    F(uint32_t, removes)

#define DB_KRQM_FIELDS(F) \
    F(uint16_t, maxRnums, TOLM_GAUGE)

#define DB_INODE_FIELDS(F) \
    F(uint64_t, upCalls) \
    F(uint64_t, upCallErrs) \
    F(uint64_t, reads) \
    F(uint64_t, readErrs) \
    F(uint64_t, writes) \
    F(uint64_t, writeErrs) \
    F(uint64_t, renames) \
    F(uint64_t, opens) \
    F(uint64_t, closes) \
    F(uint64_t, getAttrCounter) \
    F(uint64_t, getBulkAttrCounter) \
    F(uint64_t, writeCounter) \
    F(uint64_t, lookupCounter) \
    F(uint64_t, readLinkCounter) \
    F(uint64_t, readCounter) \
    F(uint64_t, readdirCounter) \
    F(uint64_t, accessCounter) \
    F(uint64_t, createCounter) \
    F(uint64_t, removeCounter) \
    F(uint64_t, setAttrCounter) \
    F(uint64_t, fsstatCounter) \
    F(uint64_t, mkdirCounter) \
    F(uint64_t, rmdirCounter) \
    F(uint64_t, openCounter) \
    F(uint64_t, renameCounter) \
    F(uint64_t, linkCounter) \
    F(uint64_t, symlinkCounter) \
    F(uint64_t, lockCounter) \
    F(uint64_t, createMountPointCounter) \
    F(uint64_t, closeCounter) \
    F(uint64_t, setACLCounter) \
    F(uint64_t, getACLCounter) \
    F(uint64_t, volCreateCounter) \
    F(uint64_t, volDeleteCounter) \
    F(uint64_t, volCloneCounter) \
    F(uint64_t, volSetAttrCounter) \
    F(uint64_t, volGetAttrCounter) \
    F(uint64_t, watchRequestCounter) \
    F(uint64_t, unlockAllCounter) \
    F(uint64_t, volRestoreCounter) \
    F(uint64_t, watchCancelCounter) \
    F(uint64_t, fetchLocksCounter) \
    F(uint64_t, stuffLocksCounter) \
    F(uint64_t, ioctlCounter) \
    F(uint64_t, debugCounter) \
    F(uint64_t, volSwapVolIDCounter) \
    F(uint64_t, volGetStatsCounter) \
    F(uint64_t, mdsIgetCounter) \
    F(uint64_t, mdsDgetCounter) \
    F(uint64_t, cclRevokeCounter) \
    F(uint64_t, cclRevokeDoneCounter) \
    F(uint64_t, dmConfigureCounter) \
    F(uint64_t, dmSetAttrCounter)

#define DB_VOL_RESTORE_FIELDS(F) \
    F(uint32_t, frameRcvd) \
    F(uint32_t, blksRcvdL) \
    F(uint32_t, blksWrittenL) \
    F(uint32_t, vnodeRcvdL) \
    F(uint32_t, vnodeWrittenL) \
    F(uint32_t, fileDelReqL) \
    F(uint32_t, fileDelRspL) \
    F(uint32_t, pktRcvd) \
    F(uint32_t, blksRcvd) \
    F(uint32_t, blksWritten) \
    F(uint32_t, vnodeRcvd) \
    F(uint32_t, vnodeWritten) \
    F(uint32_t, fileDelReq) \
    F(uint32_t, fileDelRsp) \
    F(uint32_t, numActiveRestore, TOLM_GAUGE)

#define DB_RF_FIELDS(F) \
    F(int32_t, rxAcks) \
    F(int32_t, rxCalls) \
    F(int32_t, rxUnexpected) \
    F(int32_t, txAcks) \
    F(int32_t, txCalls) \
    F(int32_t, txResends) \
    F(int32_t, txStalls) \
    F(int32_t, rxREDDiscards)

// The two trailing words, selected by bit 15: C(type, name, XML name); their
// XML names differ from the field names.
#define DB_CPU_FIELDS(C) \
    C(int32_t, cpu0PctIdle, cpu0PercentIdle) \
    C(int32_t, cpu1PctIdle, cpu1PercentIdle)

// The sub-record structs: X(type, struct, FIELDS).
#define DB_STRUCTS(X) \
    X(db_bmap_data_t, _dbBMapData, DB_BMAP_FIELDS) \
    X(db_bmap_backup_data_t, _dbBMapBkupData, DB_BMAP_BACKUP_FIELDS) \
    X(db_failover_data_t, _dbFailoverData, DB_FAILOVER_FIELDS) \
    X(db_failover_nc_data_t, _dbFailoverStatsNC, DB_FAILOVER_NC_FIELDS) \
    X(db_pio_data_t, _dbPioData, DB_PIO_FIELDS) \
    X(db_cache_controller_lru_data_t, _dbCacheControllerLruData, DB_LRU_FIELDS) \
    X(db_directory_cache_data_t, _dbDirectoryCacheData, DB_DIRECTORY_CACHE_FIELDS) \
    X(db_krqm_data_t, _dbKRqmData, DB_KRQM_FIELDS) \
    X(db_inode_data_t, _dbInodeData, DB_INODE_FIELDS) \
    X(db_vol_restore_data_t, _dbVolRestoreStats, DB_VOL_RESTORE_FIELDS) \
    X(db_rf_data_t, _dbRfData, DB_RF_FIELDS)

// The members in record order: M(bit, member, type, FIELDS, Suffix) for a sub-record
// of its own, L(bit, member) for one of the six cache-controller LRUs.
#define DB_MEMBERS(M, L) \
    M(0, bmap, db_bmap_data_t, DB_BMAP_FIELDS, Bmap) \
    M(1, bmapBackup, db_bmap_backup_data_t, DB_BMAP_BACKUP_FIELDS, BmapBackup) \
    M(2, failover, db_failover_data_t, DB_FAILOVER_FIELDS, Failover) \
    M(2, failoverNC, db_failover_nc_data_t, DB_FAILOVER_NC_FIELDS, FailoverNC) \
    M(3, pio, db_pio_data_t, DB_PIO_FIELDS, Pio) \
    L(4, normalInodeLru) \
    L(5, readdirLru) \
    L(6, smallFileLru) \
    L(7, largeFileLru) \
    L(8, directoryLru) \
    L(9, metaDataLru) \
    M(10, directoryCache, db_directory_cache_data_t, DB_DIRECTORY_CACHE_FIELDS, DirectoryCache) \
    M(11, krqm, db_krqm_data_t, DB_KRQM_FIELDS, Krqm) \
    M(12, inode, db_inode_data_t, DB_INODE_FIELDS, Inode) \
    M(13, volRestore, db_vol_restore_data_t, DB_VOL_RESTORE_FIELDS, VolRestore) \
    M(14, rf, db_rf_data_t, DB_RF_FIELDS, Rf)
