#pragma once

// Field lists of the storage-pool and VFS records. Each list is the one place where a
// sub-record's fields are named: the struct, the binary form, the XML form and
// the dump are all expanded from it. An entry is F(type, name), in wire order,
// with TOLM_GAUGE after the name of a level (a value that goes up and down)
// rather than a count.

// The node-wide counters of a set, after its status words.
#define LPSET_GLOBAL_FIELDS(F) \
    F(uint64_t, globopGetAttrCount) \
    F(uint64_t, globopGetBulkAttrCount) \
    F(uint64_t, globopWriteCount) \
    F(uint64_t, globopLookupCount) \
    F(uint64_t, globopReadLinkCount) \
    F(uint64_t, globopReadCount) \
    F(uint64_t, globopReadDirCount) \
    F(uint64_t, globopAccessCount) \
    F(uint64_t, globopCreateCount) \
    F(uint64_t, globopRemoveCount) \
    F(uint64_t, globopSetAttrCount) \
    F(uint64_t, globopFsStatCount) \
    F(uint64_t, globopMkdirCount) \
    F(uint64_t, globopRmDirCount) \
    F(uint64_t, globopOpenCount) \
    F(uint64_t, globopRenameCount) \
    F(uint64_t, globopLinkCount) \
    F(uint64_t, globopSymLinkCount) \
    F(uint64_t, globopLockCount) \
    F(uint64_t, globopCreateMountPointCount) \
    F(uint64_t, globopCloseCount) \
    F(uint64_t, globopSetAclCount) \
    F(uint64_t, globopGetAclCount) \
    F(uint64_t, globopVolCreateCount) \
    F(uint64_t, globopVolDeleteCount) \
    F(uint64_t, globopVolCloneCount) \
    F(uint64_t, globopVolSetAttrCount) \
    F(uint64_t, globopVolGetAttrCount) \
    F(uint64_t, globopWatchRequestCount) \
    F(uint64_t, globopUnlockAllCount) \
    F(uint64_t, globopNotifyObsoleteCount) \
    F(uint64_t, globopWatchCancelCount) \
    F(uint64_t, globopFetchLocksCount) \
    F(uint64_t, globopStuffLocksCount) \
    F(uint64_t, globopIoctlCount) \
    F(uint64_t, globopDebugCount) \
    F(uint32_t, stalledRnums, TOLM_GAUGE) \
    F(uint32_t, inodesUsedByVol, TOLM_GAUGE) \
    F(uint32_t, dumpSessions) \
    F(uint32_t, dumpFailures) \
    F(uint32_t, dumpRFPackets) \
    F(uint32_t, restoreRFPackets) \
    F(uint64_t, dmUpCalls) \
    F(uint64_t, dmUpCallErrs) \
    F(uint64_t, dmReads) \
    F(uint64_t, dmReadErrs) \
    F(uint64_t, dmWrites) \
    F(uint64_t, dmWriteErrs) \
    F(uint64_t, dmRenames) \
    F(uint64_t, dmOpens) \
    F(uint64_t, dmCloses)

// A pool's counters, after its state.
#define LP_COUNTER_FIELDS(F) \
    F(uint64_t, numReads) \
    F(uint64_t, numBlocksRead) \
    F(uint64_t, numWrites) \
    F(uint64_t, numBlocksWritten) \
    F(uint64_t, numVolCreates) \
    F(uint64_t, numVolClones) \
    F(uint64_t, numVolDeletes) \
    F(uint64_t, numVolRestores) \
    F(uint64_t, numVolDumpsForCopy) \
    F(uint64_t, numVolDumpsForMove)

// A volume's counters, after its id.
#define VFS_COUNTER_FIELDS(F) \
    F(uint64_t, volopBytesRead) \
    F(uint64_t, volopBytesWritten) \
    F(uint64_t, volopGetAttrCount) \
    F(uint64_t, volopGetBulkAttrCount) \
    F(uint64_t, volopWriteCount) \
    F(uint64_t, volopLookupCount) \
    F(uint64_t, volopReadLinkCount) \
    F(uint64_t, volopReadCount) \
    F(uint64_t, volopReadDirCount) \
    F(uint64_t, volopAccessCount) \
    F(uint64_t, volopCreateCount) \
    F(uint64_t, volopRemoveCount) \
    F(uint64_t, volopSetAttrCount) \
    F(uint64_t, volopFsStatCount) \
    F(uint64_t, volopMkdirCount) \
    F(uint64_t, volopRmDirCount) \
    F(uint64_t, volopOpenCount) \
    F(uint64_t, volopRenameCount) \
    F(uint64_t, volopLinkCount) \
    F(uint64_t, volopSymLinkCount) \
    F(uint64_t, volopLockCount) \
    F(uint64_t, volopCreateMountPointCount) \
    F(uint64_t, volopCloseCount) \
    F(uint64_t, volopSetAclCount) \
    F(uint64_t, volopGetAclCount) \
    F(uint64_t, volopVolCreateCount) \
    F(uint64_t, volopVolDeleteCount) \
    F(uint64_t, volopVolCloneCount) \
    F(uint64_t, volopVolSetAttrCount) \
    F(uint64_t, volopVolGetAttrCount) \
    F(uint64_t, volopWatchRequestCount) \
    F(uint64_t, volopUnlockAllCount) \
    F(uint64_t, volopNotifyObsoleteCount) \
    F(uint64_t, volopWatchCancelCount) \
    F(uint64_t, volopFetchLocksCount) \
    F(uint64_t, volopStuffLocksCount) \
    F(uint64_t, volopIoctlCount) \
    F(uint64_t, volopDebugCount)
