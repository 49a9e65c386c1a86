#pragma once

// Field lists of the N-blade record. Each list is the one place where a
// sub-record's fields are named: the struct, the binary form, the XML form and
// the dump are all expanded from it. An entry is F(type, name), in wire order,
// with TOLM_GAUGE after the name of a level (a value that goes up and down)
// rather than a count.

#define NB_BCP_FIELDS(F) \
    F(uint32_t, freeBufferPool0, TOLM_GAUGE) \
    F(uint32_t, freeBuffersPool1, TOLM_GAUGE) \
    F(uint32_t, freeBuffersPool2, TOLM_GAUGE) \
    F(uint32_t, cmdsTimedOut) \
    F(uint32_t, authenticateTimeout) \
    F(uint32_t, scpConnectTimeout) \
    F(uint32_t, scpConfigTimeout) \
    F(uint32_t, rpcServicesTimeout) \
    F(uint32_t, sidCacheTimeOut) \
    F(uint32_t, tolmAuthTimeOut) \
    F(uint32_t, netGroupTimeOut) \
    F(uint32_t, exportTimeOut) \
    F(uint32_t, vldbTimeOut) \
    F(uint32_t, rpcGssTimeOut) \
    F(uint32_t, noBuffersCnt) \
    F(uint32_t, toScpStuck) \
    F(uint32_t, toStreamStuck) \
    F(uint32_t, allocFailures) \
    F(bcp_histogram_t, histogram)

#define NB_CIFS_FIELDS(F) \
    F(uint64_t, TotalChannels) \
    F(uint64_t, TotalChannelsUsed) \
    F(uint64_t, TotalChannelsFreed) \
    F(uint64_t, TotalSendDesc) \
    F(uint64_t, TotalSendDescUsed) \
    F(uint64_t, TotalSendDescFreed) \
    F(uint64_t, TotalDynMemBlksAllocated) \
    F(uint64_t, TotalDynMemBlksFree) \
    F(uint64_t, SmallBuffersFreedViaTcp) \
    F(uint64_t, LargeBuffersFreedViaTcp) \
    F(uint64_t, RsvdBuffersFreedViaTcp) \
    F(uint64_t, TolmGetAttr) \
    F(uint64_t, TolmSetAttr) \
    F(uint64_t, TolmLookUp) \
    F(uint64_t, TolmRead) \
    F(uint64_t, TolmWrite) \
    F(uint64_t, TolmCreate) \
    F(uint64_t, TolmRemove) \
    F(uint64_t, TolmRename) \
    F(uint64_t, TolmMkDir) \
    F(uint64_t, TolmRmDir) \
    F(uint64_t, TolmReadDir) \
    F(uint64_t, TolmFsStat) \
    F(uint64_t, TolmLock) \
    F(uint64_t, TolmLockReturn) \
    F(uint64_t, TolmClientGrant) \
    F(uint64_t, TolmClientRevoke) \
    F(uint64_t, TolmClientRecover) \
    F(uint64_t, TolmGetBulkAttr) \
    F(uint64_t, TolmOpen) \
    F(uint64_t, TolmClose) \
    F(uint64_t, TolmUnlockAll) \
    F(uint64_t, TolmAccess) \
    F(uint64_t, TolmWatchRequest) \
    F(uint64_t, TolmWatchCancel) \
    F(uint64_t, TolmNotify) \
    F(uint64_t, TolmClientNotify) \
    F(uint64_t, TolmSetAcl) \
    F(uint64_t, TolmGetAcl) \
    F(uint64_t, SessionRequests) \
    F(uint64_t, NameServerRequests) \
    F(uint64_t, MatchingNameServerRequests) \
    F(uint64_t, TotalRecNameResps) \
    F(uint64_t, SmbCreateDirectory) \
    F(uint64_t, SmbDeleteDirectory) \
    F(uint64_t, SmbOpen) \
    F(uint64_t, SmbCreate) \
    F(uint64_t, SmbClose) \
    F(uint64_t, SmbFlush) \
    F(uint64_t, SmbDelete) \
    F(uint64_t, SmbRename) \
    F(uint64_t, SmbQueryInformation) \
    F(uint64_t, SmbSetInformation) \
    F(uint64_t, SmbRead) \
    F(uint64_t, SmbWrite) \
    F(uint64_t, SmbLockByteRange) \
    F(uint64_t, SmbCreateNew) \
    F(uint64_t, SmbCheckDirectory) \
    F(uint64_t, SmbProcessExit) \
    F(uint64_t, SmbSeek) \
    F(uint64_t, SmbLockAndRead) \
    F(uint64_t, SmbWriteAndUnlock) \
    F(uint64_t, SmbReadRaw) \
    F(uint64_t, SmbReadMpx) \
    F(uint64_t, SmbReadMpxSecondary) \
    F(uint64_t, SmbWriteRaw) \
    F(uint64_t, SmbWriteMpx) \
    F(uint64_t, SmbWriteMpxComplete) \
    F(uint64_t, SmbSetInformation2) \
    F(uint64_t, SmbQueryInformation2) \
    F(uint64_t, SmbLockingAndX) \
    F(uint64_t, SmbTransaction) \
    F(uint64_t, SmbTransactionSecondary) \
    F(uint64_t, SmbIoctl) \
    F(uint64_t, SmbIoctlSecondary) \
    F(uint64_t, SmbCopy) \
    F(uint64_t, SmbMove) \
    F(uint64_t, SmbEcho) \
    F(uint64_t, SmbWriteAndClose) \
    F(uint64_t, SmbOpenAndX) \
    F(uint64_t, SmbReadAndX) \
    F(uint64_t, SmbWriteAndX) \
    F(uint64_t, SmbCloseAndTreeDisconnect) \
    F(uint64_t, SmbTransaction2) \
    F(uint64_t, SmbTransaction2Secondary) \
    F(uint64_t, SmbFindClose2) \
    F(uint64_t, SmbFindNotifyClose) \
    F(uint64_t, SmbTreeConnect) \
    F(uint64_t, SmbTreeDisconnect) \
    F(uint64_t, SmbNegotiate) \
    F(uint64_t, SmbSessionSetupAndX) \
    F(uint64_t, SmbLogOffAndX) \
    F(uint64_t, SmbTreeConnectAndX) \
    F(uint64_t, SmbQueryInformationDisk) \
    F(uint64_t, SmbSearch) \
    F(uint64_t, SmbFind) \
    F(uint64_t, SmbFindUnique) \
    F(uint64_t, SmbNtTransact) \
    F(uint64_t, SmbNtTransactSecondary) \
    F(uint64_t, SmbNtCreateAndX) \
    F(uint64_t, SmbNtCancel) \
    F(uint64_t, OpenPrintFile) \
    F(uint64_t, WritePrintFile) \
    F(uint64_t, ClosePrintFile) \
    F(uint64_t, GetPrintQueue) \
    F(uint64_t, ReadBulk) \
    F(uint64_t, WriteBulk) \
    F(uint64_t, WriteBulkData) \
    F(uint64_t, Trans2Open) \
    F(uint64_t, Trans2FindFirst) \
    F(uint64_t, Trans2FindNext) \
    F(uint64_t, Trans2QueryFsInformation) \
    F(uint64_t, Trans2QueryPathInformation) \
    F(uint64_t, Trans2SetPathInformation) \
    F(uint64_t, Trans2QueryFileInformation) \
    F(uint64_t, Trans2SetFileInformation) \
    F(uint64_t, Trans2Fsctl) \
    F(uint64_t, Trans2Ioctl2) \
    F(uint64_t, Trans2FindNotifyFirst) \
    F(uint64_t, Trans2FindNotifyNext) \
    F(uint64_t, Trans2CreateDirectory) \
    F(uint64_t, Trans2SessionSetup) \
    F(uint64_t, Trans2GetDfsReferral) \
    F(uint64_t, Trans2ReportDfsInconsistency) \
    F(uint64_t, TransactCreate) \
    F(uint64_t, TransactIoctl) \
    F(uint64_t, TransactSetSecurityDesc) \
    F(uint64_t, TransactQuerySecurityDesc) \
    F(uint64_t, TransactNotifyChange) \
    F(uint64_t, TransactRename) \
    F(uint64_t, NormalWrite) \
    F(uint64_t, RawRfWrite) \
    F(uint64_t, WriteNamedPipe) \
    F(uint64_t, WriteAndXNamedPipe) \
    F(uint64_t, ReadAndXNamedPipe) \
    F(uint64_t, TotalRpcBindCalls) \
    F(uint64_t, TotalRpcCalls) \
    F(uint64_t, TotalRpcFaults) \
    F(uint64_t, TotalRpcAltContCalls) \
    F(uint64_t, WrappedUserIds) \
    F(uint64_t, ZeroByteWriteCnt) \
    F(uint64_t, ZeroByteReadCnt) \
    F(uint64_t, LeaseConnNormalMapOperation) \
    F(uint64_t, LeaseConnNonAsyncOpen) \
    F(uint64_t, LeaseConnAsyncOpen) \
    F(uint64_t, LeaseConnAsyncOpenCallback) \
    F(uint64_t, LeaseConnAsyncStateChange) \
    F(uint64_t, LeaseConnAsyncStateCloseConn) \
    F(uint64_t, LeaseConnAsyncOpenCallbackExec) \
    F(uint64_t, LeaseConnAsyncHungExecs) \
    F(uint64_t, LeaseConnMoveNoResponseSent) \
    F(uint64_t, CallbackReceived) \
    F(uint64_t, CallbackResponsesSent) \
    F(uint64_t, NoStat) \
    F(uint64_t, LckBatchOplockRequested) \
    F(uint64_t, LckExclusiveOplockRequested) \
    F(uint64_t, LckLevelIIOplockRequested) \
    F(uint64_t, LckBatchOplockGranted) \
    F(uint64_t, LckExclusiveOplockGranted) \
    F(uint64_t, LckLevelIIGranted) \
    F(uint64_t, LckOplockRevokeSent) \
    F(uint64_t, LckOplockReleaseRecieved) \
    F(uint64_t, LckSuggestBreakToLevelII) \
    F(uint64_t, LckSuggestBreakToNone) \
    F(uint64_t, LckBreakToLevelII) \
    F(uint64_t, LckBreakToNone) \
    F(uint64_t, LckRangeRequest) \
    F(uint64_t, LckRangeAsyncNeeded) \
    F(uint64_t, LckRangeAsyncGranted) \
    F(uint64_t, LckRangeAsyncRefused) \
    F(uint64_t, LckUnlockAllWithFid) \
    F(uint64_t, LckUnlockAllWithoutFid) \
    F(uint64_t, LckUnlockAllConnection) \
    F(uint64_t, LckRemovedTempEntry) \
    F(uint64_t, LckLeaseConnTempEntry) \
    F(uint64_t, LckCloseFailed) \
    F(uint64_t, LckCloseFailedUnmarked) \
    F(uint64_t, LckCloseFailedStateLeft) \
    F(uint64_t, LckUnlockAllPostCloseFailed) \
    F(uint64_t, LckFinalCloseFailed) \
    F(uint64_t, LckFinalCloseFailedTimeout) \
    F(uint64_t, LckRemovedEntryDestroyConn) \
    F(uint64_t, LckNtCreateDiskShare) \
    F(uint64_t, LckAddNtCreateTempEntry) \
    F(uint64_t, LckNtCreateAndXFailedValidEntry) \
    F(uint64_t, LckNtCreateAndXFailedTempEntry) \
    F(uint64_t, LckNtCreateSuccess) \
    F(uint64_t, LckCloseDiskShare) \
    F(uint64_t, LckCloseDiskShareRemoveFileEntry) \
    F(uint64_t, LckCloseDiskShareRemoveFileEntrySuccess) \
    F(uint64_t, SidCacheHitPos) \
    F(uint64_t, SidCacheHitNeg) \
    F(uint64_t, SidCacheMiss) \
    F(uint64_t, SidCacheTossed) \
    F(uint64_t, SidCacheTossedBucket) \
    F(uint32_t, SidCacheEntries, TOLM_GAUGE) \
    F(uint32_t, SidCacheWaiting) \
    F(uint64_t, ScpUpCalls) \
    F(uint64_t, ScpSuccessfulCallbacks) \
    F(uint64_t, ScpFailedCallbacks) \
    F(uint32_t, ConnectionsInUse, TOLM_GAUGE) \
    F(uint32_t, ExecContextsInUse, TOLM_GAUGE) \
    F(uint32_t, ChannelsInUse, TOLM_GAUGE) \
    F(uint32_t, SmallBuffsInUse, TOLM_GAUGE) \
    F(uint32_t, LargeBuffsInUse, TOLM_GAUGE) \
    F(uint32_t, SmallsRsvd) \
    F(uint32_t, LargesRsvd)

#define NB_EXPORTS_FIELDS(F) \
    F(uint32_t, requests) \
    F(uint32_t, denials) \
    F(uint32_t, freechunks, TOLM_GAUGE) \
    F(uint32_t, cachehit) \
    F(uint32_t, cachemiss) \
    F(uint32_t, activesets, TOLM_GAUGE)

#define NB_LEASE_CONN_FIELDS(F) \
    F(uint32_t, normalMapOperation) \
    F(uint32_t, nonAsyncOpen) \
    F(uint32_t, asyncOpen) \
    F(uint32_t, asyncOpenCallback) \
    F(uint32_t, asyncStateChange) \
    F(uint32_t, asyncStateCloseConn)

#define NB_LOCK_FIELDS(F) \
    F(success_fail_t, null) \
    F(success_fail_t, test) \
    F(success_fail_t, lock) \
    F(success_fail_t, cancel) \
    F(success_fail_t, unlock) \
    F(success_fail_t, granted) \
    F(success_fail_t, share) \
    F(success_fail_t, unshare) \
    F(success_fail_t, nmlock) \
    F(success_fail_t, freeall)

#define NB_MOUNT_FIELDS(F) \
    F(success_fail_t, null) \
    F(success_fail_t, mount) \
    F(success_fail_t, dump) \
    F(success_fail_t, umount) \
    F(success_fail_t, umountall) \
    F(success_fail_t, exprt) \
    F(success_fail_t, exportall) \
    F(success_fail_t, pathconf)

#define NB_MOUNT_CACHE_FIELDS(F) \
    F(uint32_t, hits) \
    F(uint32_t, misses) \
    F(uint32_t, failures) \
    F(uint32_t, bypasses) \
    F(uint32_t, dynamicBypasses) \
    F(uint32_t, oversizeBypasses) \
    F(uint32_t, activeBuckets, TOLM_GAUGE) \
    F(uint32_t, activeEntries)

#define NB_MOUNTPOINT_CACHE_FIELDS(F) \
    F(uint32_t, addEntry) \
    F(uint32_t, entryNotReady) \
    F(uint32_t, attachTolmFid) \
    F(uint32_t, reattachTolmFid) \
    F(uint32_t, removeEntry) \
    F(uint32_t, forceRemove) \
    F(uint32_t, hit)

#define NB_NFS2_FIELDS(F) \
    F(success_fail_t, null) \
    F(success_fail_t, getAttr) \
    F(success_fail_t, setAttr) \
    F(success_fail_t, root) \
    F(success_fail_t, lookUp) \
    F(success_fail_t, readLink) \
    F(success_fail_t, read) \
    F(success_fail_t, writeCache) \
    F(success_fail_t, write) \
    F(success_fail_t, create) \
    F(success_fail_t, remove) \
    F(success_fail_t, rename) \
    F(success_fail_t, link) \
    F(success_fail_t, symLink) \
    F(success_fail_t, mkDir) \
    F(success_fail_t, rmDir) \
    F(success_fail_t, readDir) \
    F(success_fail_t, statFs)

#define NB_NFS3_FIELDS(F) \
    F(success_fail_t, nullop) \
    F(success_fail_t, getAttr) \
    F(success_fail_t, setAttr) \
    F(success_fail_t, lookUp) \
    F(success_fail_t, readLink) \
    F(success_fail_t, read) \
    F(success_fail_t, write) \
    F(success_fail_t, create) \
    F(success_fail_t, remove) \
    F(success_fail_t, rename) \
    F(success_fail_t, link) \
    F(success_fail_t, symLink) \
    F(success_fail_t, mkDir) \
    F(success_fail_t, rmDir) \
    F(success_fail_t, readDir) \
    F(success_fail_t, access) \
    F(success_fail_t, mkNod) \
    F(success_fail_t, readDirPlus) \
    F(success_fail_t, fsStat) \
    F(success_fail_t, fsInfo) \
    F(success_fail_t, pathConf) \
    F(success_fail_t, commit)

#define NB_PACKET_FIELDS(F) \
    F(uint32_t, tolmPacketsAllocated) \
    F(uint32_t, tolmPacketsMax, TOLM_GAUGE) \
    F(uint32_t, udpRedDrops)

#define NB_RA_FIELDS(F) \
    F(uint32_t, connsInUse, TOLM_GAUGE) \
    F(uint32_t, execsInUse, TOLM_GAUGE) \
    F(uint32_t, chansInUse, TOLM_GAUGE) \
    F(uint32_t, smallsInUse, TOLM_GAUGE) \
    F(uint32_t, largesInUse, TOLM_GAUGE) \
    F(uint32_t, smallsReserved) \
    F(uint32_t, largesReserved) \
    F(uint32_t, allocatedSmalls) \
    F(uint32_t, allocatedLarges) \
    F(uint32_t, descsInUse, TOLM_GAUGE) \
    F(uint32_t, descsReserved) \
    F(uint32_t, pagesInUse, TOLM_GAUGE) \
    F(uint32_t, blockedForRa) \
    F(uint32_t, blockedForOutput) \
    F(uint32_t, blockedForExecs) \
    F(uint32_t, blockedForExecsQuota) \
    F(uint64_t, sumBlockedForExecs) \
    F(uint64_t, sumBlockedForExecsQuota) \
    F(uint64_t, sumDroppedReqDueToExecs) \
    F(uint64_t, sumStallReqDueToExecs) \
    F(uint64_t, sumAllocExecFailNoExecs) \
    F(uint64_t, sumAllocExecFailNoLrgs) \
    F(uint64_t, deferredForOutput) \
    F(uint64_t, deferredForSocket) \
    F(uint32_t, workElementsAllocd) \
    F(uint32_t, workElementsAllocdMax, TOLM_GAUGE) \
    F(uint32_t, withheldExecContexts) \
    F(uint32_t, withheldChannels) \
    F(uint32_t, withheldConnections) \
    F(uint32_t, withheldLargeBufs) \
    F(uint32_t, withheldSmallBufs)

#define NB_REPLAY_CACHE_FIELDS(F) \
    F(uint32_t, found) \
    F(uint32_t, queued) \
    F(uint32_t, allocated) \
    F(uint32_t, full) \
    F(uint32_t, blockedXmit)

#define NB_ROOT_CACHE_FIELDS(F) \
    F(uint32_t, hits) \
    F(uint32_t, misses) \
    F(uint32_t, failures) \
    F(uint32_t, bypasses)

#define NB_SCP_FIELDS(F) \
    F(uint32_t, authCallsUpcalls) \
    F(uint32_t, authCallsReturned) \
    F(uint32_t, authCallsReturnedValid) \
    F(uint32_t, sidTransModuleCalls) \
    F(uint32_t, sidTransModuleCallsReturned) \
    F(uint32_t, sidTransUpcalls) \
    F(uint32_t, sidTransCallsReturned) \
    F(uint32_t, cifsVldbUpcalls) \
    F(uint32_t, cifsVldbCallsReturned) \
    F(uint32_t, upCalls) \
    F(uint32_t, successCallbacks) \
    F(uint32_t, failCallbacks) \
    F(uint32_t, vldbVfsLookups) \
    F(uint32_t, vldbVfsLookupSuccesses) \
    F(uint32_t, vldbVfsLookupFailures) \
    F(uint32_t, vldbRootLookups) \
    F(uint32_t, vldbRootLookupSuccesses) \
    F(uint32_t, vldbRootLookupFailures) \
    F(uint32_t, vldbMountpointLookups) \
    F(uint32_t, vldbMountpointLookupSuccesses) \
    F(uint32_t, vldbMountpointLookupFailures)

#define NB_SESSION_MONITOR_FIELDS(F) \
    F(success_fail_t, nullproc) \
    F(success_fail_t, checkstat) \
    F(success_fail_t, monitor) \
    F(success_fail_t, unmonitor) \
    F(success_fail_t, unmonitorAll) \
    F(success_fail_t, simulateCrash) \
    F(success_fail_t, notify)

#define NB_SID_CACHE_FIELDS(F) \
    F(uint32_t, lookups) \
    F(uint32_t, lookups2) \
    F(uint32_t, misses) \
    F(uint32_t, waiting) \
    F(uint32_t, cacheEntries, TOLM_GAUGE) \
    F(uint32_t, tossedForNoEntries) \
    F(uint32_t, tossedForFullBucket)

#define NB_TOLM_XMIT_DESCS_FIELDS(F) \
    F(uint32_t, current, TOLM_GAUGE) \
    F(uint32_t, max, TOLM_GAUGE) \
    F(uint32_t, upcallDrops)

#define NB_TRANSPORT_FIELDS(F) \
    F(uint64_t, outOfConns) \
    F(uint64_t, outOfExecs) \
    F(uint64_t, execQuota) \
    F(uint64_t, noRoutes) \
    F(uint64_t, noXmitDescs) \
    F(uint64_t, fastpathOutputErrors) \
    F(uint64_t, abortedConns) \
    F(uint64_t, abortedPackets) \
    F(uint64_t, abortedXmits) \
    F(uint64_t, failedXmits) \
    F(uint64_t, closedTcpConnsNoCb) \
    F(uint64_t, badRpc) \
    F(uint64_t, rpcMismatches) \
    F(uint64_t, rpcUnavail) \
    F(uint64_t, rpcProgMismatches) \
    F(uint64_t, rpcGarbageArgs) \
    F(uint64_t, rpcGssCtxEstabs) \
    F(uint64_t, rpcGssCtxEstConts) \
    F(uint64_t, rpcGssCtxEstFails) \
    F(uint64_t, rpcGssCtxDestroys) \
    F(uint64_t, rpcGssSilentDrops) \
    F(uint64_t, rpcGssBogusCreds) \
    F(uint64_t, rpcGssBogusVerfs) \
    F(uint64_t, rpcGssCtxNotFound) \
    F(uint64_t, rpcGssCtxExpired) \
    F(uint64_t, rpcGssCtxOverflow) \
    F(uint64_t, rpcGssAuthFailed) \
    F(uint64_t, rpcGssUnsupported) \
    F(uint64_t, numInPkts) \
    F(uint64_t, numOutPkts) \
    F(uint64_t, xmitsViaSkb) \
    F(uint64_t, xmitsViaDesc) \
    F(uint64_t, xmitsViaSendmsg) \
    F(uint64_t, udpChecksums) \
    F(uint64_t, udpBadChecksums) \
    F(uint64_t, udpOutChecksums) \
    F(uint64_t, udpOutChecksumsSlow) \
    F(uint64_t, tcpConnsOpened) \
    F(uint64_t, tcpConnsClosed) \
    F(uint64_t, tcpConnsReset) \
    F(uint64_t, sockCreateFailures) \
    F(uint64_t, sockBindFailures)

// The sub-records in mask-bit order: X(bit, member, type, struct, FIELDS, Suffix).
#define NB_SUBRECORDS(X) \
    X(0, bcp, nb_bcp_data_t, _nbBcpData, NB_BCP_FIELDS, Bcp) \
    X(1, cifs, nb_cifs_data_t, _nbCifsData, NB_CIFS_FIELDS, Cifs) \
    X(2, exports, nb_exports_data_t, _nbExportsData, NB_EXPORTS_FIELDS, Exports) \
    X(3, leaseConn, nb_lease_conn_data_t, _nbLeaseConnData, NB_LEASE_CONN_FIELDS, LeaseConn) \
    X(4, lock, nb_lock_data_t, _nbLockData, NB_LOCK_FIELDS, Lock) \
    X(5, mount, nb_mount_data_t, _nbMountData, NB_MOUNT_FIELDS, Mount) \
    X(6, mountCache, nb_mount_cache_data_t, _nbMountCacheData, NB_MOUNT_CACHE_FIELDS, MountCache) \
    X(7, mountpointCache, nb_mountpoint_cache_data_t, _nbMountpointCacheData, NB_MOUNTPOINT_CACHE_FIELDS, MountpointCache) \
    X(8, nfs2, nb_nfs2_data_t, _nbNfs2Data, NB_NFS2_FIELDS, Nfs2) \
    X(9, nfs3, nb_nfs3_data_t, _nbNfs3Data, NB_NFS3_FIELDS, Nfs3) \
    X(10, packet, nb_packet_data_t, _nbPacketData, NB_PACKET_FIELDS, Packet) \
    X(11, ra, nb_ra_data_t, _nbRaData, NB_RA_FIELDS, Ra) \
    X(12, replayCache, nb_replay_cache_data_t, _nbReplayCacheData, NB_REPLAY_CACHE_FIELDS, ReplayCache) \
    X(13, rootCache, nb_root_cache_data_t, _nbRootCacheData, NB_ROOT_CACHE_FIELDS, RootCache) \
    X(14, scp, nb_scp_data_t, _nbScpData, NB_SCP_FIELDS, Scp) \
    X(15, sessionMonitor, nb_session_monitor_data_t, _nbSessionMonitorData, NB_SESSION_MONITOR_FIELDS, SessionMonitor) \
    X(16, sidCache, nb_sid_cache_data_t, _nbSidCacheData, NB_SID_CACHE_FIELDS, SidCache) \
    X(17, tolmXmitDescs, nb_tolm_xmit_descs_data_t, _nbTolmXmitDescsData, NB_TOLM_XMIT_DESCS_FIELDS, TolmXmitDescs) \
    X(18, transport, nb_transport_data_t, _nbTransportData, NB_TRANSPORT_FIELDS, Transport)
