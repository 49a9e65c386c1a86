#pragma once

// The N-blade kernel side as it publishes its statistics files: for each file
// its name under "/proc/tolm/stream.d/", the sub-record of the N-blade record
// its lines are meant for, and every line: the name exactly as the kernel
// writes it (several are cut short), how many numbers it carries, the record
// field (by the record's XML names) each number belongs in, and that field's
// width in bytes. This is the kernel's own view, kept apart from the
// collectors' line tables on purpose: a line or file name mistyped on either
// side makes the end-to-end comparison of the record fail.

#include <cstdint>

struct SimKernelLine {
    const char* name;
    uint32_t numbers;         // numbers on the line: 1, or 2 for a pair
    const char* field;        // where the first number belongs
    const char* secondField;  // where the second belongs; null: nowhere
    uint32_t width;           // of the fields: 4 or 8 bytes
};

struct SimKernelFile {
    const char* fileName;
    const char* subRecord;
    const SimKernelLine* lines;
    uint32_t lineCount;
};

inline constexpr SimKernelLine kBcpLines[] = {
    {"freeBuffersPool0", 1, "freeBufferPool0", nullptr, 4},
    {"freeBuffersPool1", 1, "freeBuffersPool1", nullptr, 4},
    {"freeBuffersPool2", 1, "freeBuffersPool2", nullptr, 4},
    {"cmdsTimedOut", 1, "cmdsTimedOut", nullptr, 4},
    {"BcpAuthenticateTim", 1, "authenticateTimeout", nullptr, 4},
    {"BcpScpConnectTimeO", 1, "scpConnectTimeout", nullptr, 4},
    {"BcpScpConfigTimeOu", 1, "scpConfigTimeout", nullptr, 4},
    {"BcpRpcServicesTime", 1, "rpcServicesTimeout", nullptr, 4},
    {"BcpSidCacheTimeOut", 1, "sidCacheTimeOut", nullptr, 4},
    {"BcpTolmAuthTimeOut", 1, "tolmAuthTimeOut", nullptr, 4},
    {"BcpNetGroupTimeOut", 1, "netGroupTimeOut", nullptr, 4},
    {"BcpExportTimeOut", 1, "exportTimeOut", nullptr, 4},
    {"BcpVldbTimeOut", 1, "vldbTimeOut", nullptr, 4},
    {"BcpRpcGssTimeOut", 1, "rpcGssTimeOut", nullptr, 4},
    {"BcpNoBuffersCnt", 1, "noBuffersCnt", nullptr, 4},
    {"BcpToScpStuck", 1, "toScpStuck", nullptr, 4},
    {"BcpToStreamStuck", 1, "toStreamStuck", nullptr, 4},
    {"BcpAllocFailures", 1, "allocFailures", nullptr, 4},
};
inline constexpr SimKernelLine kExportsLines[] = {
    {"requests", 1, "requests", nullptr, 4},     {"denials", 1, "denials", nullptr, 4},
    {"freechunks", 1, "freechunks", nullptr, 4}, {"cachehit", 1, "cachehit", nullptr, 4},
    {"cachemiss", 1, "cachemiss", nullptr, 4},   {"activesets", 1, "activesets", nullptr, 4},
};
inline constexpr SimKernelLine kLeaseConnLines[] = {
    {"NormalMapOperation", 1, "normalMapOperation", nullptr, 4},
    {"NonAsyncOpen", 1, "nonAsyncOpen", nullptr, 4},
    {"AsyncOpen", 1, "asyncOpen", nullptr, 4},
    {"AsyncOpenCallback", 1, "asyncOpenCallback", nullptr, 4},
    {"AsyncStateChange", 1, "asyncStateChange", nullptr, 4},
    {"AsyncStateCloseConn", 1, "asyncStateCloseConn", nullptr, 4},
};
inline constexpr SimKernelLine kMountCacheStatisticsLines[] = {
    {"Hits", 1, "hits", nullptr, 4},
    {"Misses", 1, "misses", nullptr, 4},
    {"Failures", 1, "failures", nullptr, 4},
    {"Bypasses", 1, "bypasses", nullptr, 4},
    {"DynamicBypasses", 1, "dynamicBypasses", nullptr, 4},
    {"OversizeBypasses", 1, "oversizeBypasses", nullptr, 4},
    {"ActiveBuckets", 1, "activeBuckets", nullptr, 4},
    {"ActiveEntries", 1, "activeEntries", nullptr, 4},
};
inline constexpr SimKernelLine kMountpointCacheLines[] = {
    {"AddEntry", 1, "addEntry", nullptr, 4},
    {"EntryNotReady", 1, "entryNotReady", nullptr, 4},
    {"AttachTolmFid", 1, "attachTolmFid", nullptr, 4},
    {"ReattachTolmFid", 1, "reattachTolmFid", nullptr, 4},
    {"RemoveEntry", 1, "removeEntry", nullptr, 4},
    {"ForceRemove", 1, "forceRemove", nullptr, 4},
    {"Hit", 1, "hit", nullptr, 4},
};
inline constexpr SimKernelLine kPacketStatsLines[] = {
    {"tolmPacketsAllocated", 1, "tolmPacketsAllocated", nullptr, 4},
    {"tolmPacketsMax", 1, "tolmPacketsMax", nullptr, 4},
    {"udpRedDrops", 1, "udpRedDrops", nullptr, 4},
};
inline constexpr SimKernelLine kRaStatsLines[] = {
    {"connsInUse", 1, "connsInUse", nullptr, 4},
    {"execsInUse", 1, "execsInUse", nullptr, 4},
    {"chansInUse", 1, "chansInUse", nullptr, 4},
    {"smallsInUse", 1, "smallsInUse", nullptr, 4},
    {"largesInUse", 1, "largesInUse", nullptr, 4},
    {"smallsReserved", 1, "smallsReserved", nullptr, 4},
    {"largesReserved", 1, "largesReserved", nullptr, 4},
    {"allocatedSmalls", 1, "allocatedSmalls", nullptr, 4},
    {"allocatedLarges", 1, "allocatedLarges", nullptr, 4},
    {"descsInUse", 1, "descsInUse", nullptr, 4},
    {"descsReserved", 1, "descsReserved", nullptr, 4},
    {"pagesInUse", 1, "pagesInUse", nullptr, 4},
    {"blockedForRa", 1, "blockedForRa", nullptr, 4},
    {"blockedForExecs", 1, "blockedForExecs", nullptr, 4},
    {"blockedForExecsQuota", 1, "blockedForExecsQuota", nullptr, 4},
    {"blockedForOutput", 1, "blockedForOutput", nullptr, 4},
    {"sumBlockedForExecs", 1, "sumBlockedForExecs", nullptr, 8},
    {"sumBlockedForExecsQuota", 1, "sumBlockedForExecsQuota", nullptr, 8},
    {"sumDroppedReqDueToExecs", 1, "sumDroppedReqDueToExecs", nullptr, 8},
    {"sumStallReqDueToExecs", 1, "sumStallReqDueToExecs", nullptr, 8},
    {"sumAllocExecFailNoExecs", 1, "sumAllocExecFailNoExecs", nullptr, 8},
    {"sumAllocExecFailNoLrgs", 1, "sumAllocExecFailNoLrgs", nullptr, 8},
    {"deferredForOutput", 1, "deferredForOutput", nullptr, 8},
    {"deferredForSocket", 1, "deferredForSocket", nullptr, 8},
    {"workElementsAllocd", 1, "workElementsAllocd", nullptr, 4},
    {"workElementsAllocdMax", 1, "workElementsAllocdMax", nullptr, 4},
    {"withheldExecContexts", 1, "withheldExecContexts", nullptr, 4},
    {"withheldChannels", 1, "withheldChannels", nullptr, 4},
    {"withheldConnections", 1, "withheldConnections", nullptr, 4},
    {"withheldLargeBufs", 1, "withheldLargeBufs", nullptr, 4},
    {"withheldSmallBufs", 1, "withheldSmallBufs", nullptr, 4},
};
inline constexpr SimKernelLine kReplayCacheLines[] = {
    {"Found", 1, "found", nullptr, 4},
    {"Queued", 1, "queued", nullptr, 4},
    {"Allocated", 1, "allocated", nullptr, 4},
    {"Full", 1, "full", nullptr, 4},
    {"BlockedXmit", 1, "blockedXmit", nullptr, 4},
};
inline constexpr SimKernelLine kRootCacheStatisticsLines[] = {
    {"Hits", 1, "hits", nullptr, 4},
    {"Misses", 1, "misses", nullptr, 4},
    {"Failures", 1, "failures", nullptr, 4},
    {"Bypasses", 1, "bypasses", nullptr, 4},
};
inline constexpr SimKernelLine kScpLines[] = {
    {"AuthCallsUpcalls", 1, "authCallsUpcalls", nullptr, 4},
    {"AuthCallsReturned", 1, "authCallsReturned", nullptr, 4},
    {"AuthCallsReturnedValid", 1, "authCallsReturnedValid", nullptr, 4},
    {"SidTransModuleCalls", 1, "sidTransModuleCalls", nullptr, 4},
    {"SidTransModuleCallsRetur", 1, "sidTransModuleCallsReturned", nullptr, 4},
    {"SidTransUpcalls", 1, "sidTransUpcalls", nullptr, 4},
    {"SidTransCallsReturned", 1, "sidTransCallsReturned", nullptr, 4},
    {"CifsVldbUpcalls", 1, "cifsVldbUpcalls", nullptr, 4},
    {"CifsVldbCallsReturned", 1, "cifsVldbCallsReturned", nullptr, 4},
    {"UpCalls", 1, "upCalls", nullptr, 4},
    {"SuccessCallbacks", 1, "successCallbacks", nullptr, 4},
    {"FailCallbacks", 1, "failCallbacks", nullptr, 4},
    {"VldbVfsLookups", 1, "vldbVfsLookups", nullptr, 4},
    {"VldbVfsLookupSuccesses", 1, "vldbVfsLookupSuccesses", nullptr, 4},
    {"VldbVfsLookupFailures", 1, "vldbVfsLookupFailures", nullptr, 4},
    {"VldbRootLookups", 1, "vldbRootLookups", nullptr, 4},
    {"VldbRootLookupSuccesses", 1, "vldbRootLookupSuccesses", nullptr, 4},
    {"VldbRootLookupFailures", 1, "vldbRootLookupFailures", nullptr, 4},
    {"VldbMountpointLookups", 1, "vldbMountpointLookups", nullptr, 4},
    {"VldbMountpointLookupSucc", 1, "vldbMountpointLookupSuccesses", nullptr, 4},
    {"VldbMountpointLookupFail", 1, "vldbMountpointLookupFailures", nullptr, 4},
};
inline constexpr SimKernelLine kSidCacheLines[] = {
    {"Lookups", 2, "lookups", "lookups2", 4},
    {"Misses", 2, "misses", nullptr, 4},
    {"Waiting", 2, "waiting", nullptr, 4},
    {"CacheEntries", 2, "cacheEntries", nullptr, 4},
    {"TossedForNoEntries", 2, "tossedForNoEntries", nullptr, 4},
    {"TossedForFullBucket", 2, "tossedForFullBucket", nullptr, 4},
};
inline constexpr SimKernelLine kTolmXmitDescsLines[] = {
    {"Curr/Max", 2, "current", "max", 4},
    {"UpcallDrops", 2, "upcallDrops", nullptr, 4},
};
inline constexpr SimKernelLine kTransportStatsLines[] = {
    {"outOfConns", 1, "outOfConns", nullptr, 8},
    {"outOfExecs", 1, "outOfExecs", nullptr, 8},
    {"execQuota", 1, "execQuota", nullptr, 8},
    {"noRoutes", 1, "noRoutes", nullptr, 8},
    {"noXmitDescs", 1, "noXmitDescs", nullptr, 8},
    {"fastpathOutputErrors", 1, "fastpathOutputErrors", nullptr, 8},
    {"abortedConns", 1, "abortedConns", nullptr, 8},
    {"abortedPackets", 1, "abortedPackets", nullptr, 8},
    {"abortedXmits", 1, "abortedXmits", nullptr, 8},
    {"failedXmits", 1, "failedXmits", nullptr, 8},
    {"closedTcpConnsNoCb", 1, "closedTcpConnsNoCb", nullptr, 8},
    {"badRpc", 1, "badRpc", nullptr, 8},
    {"rpcMismatches", 1, "rpcMismatches", nullptr, 8},
    {"rpcUnavail", 1, "rpcUnavail", nullptr, 8},
    {"rpcProgMismatches", 1, "rpcProgMismatches", nullptr, 8},
    {"rpcGarbageArgs", 1, "rpcGarbageArgs", nullptr, 8},
    {"rpcGssCtxEstabs", 1, "rpcGssCtxEstabs", nullptr, 8},
    {"rpcGssCtxEstConts", 1, "rpcGssCtxEstConts", nullptr, 8},
    {"rpcGssCtxEstFails", 1, "rpcGssCtxEstFails", nullptr, 8},
    {"rpcGssCtxDestroys", 1, "rpcGssCtxDestroys", nullptr, 8},
    {"rpcGssSilentDrops", 1, "rpcGssSilentDrops", nullptr, 8},
    {"rpcGssBogusCreds", 1, "rpcGssBogusCreds", nullptr, 8},
    {"rpcGssBogusVerfs", 1, "rpcGssBogusVerfs", nullptr, 8},
    {"rpcGssCtxNotFound", 1, "rpcGssCtxNotFound", nullptr, 8},
    {"rpcGssCtxExpired", 1, "rpcGssCtxExpired", nullptr, 8},
    {"rpcGssCtxOverflow", 1, "rpcGssCtxOverflow", nullptr, 8},
    {"rpcGssAuthFailed", 1, "rpcGssAuthFailed", nullptr, 8},
    {"rpcGssUnsupported", 1, "rpcGssUnsupported", nullptr, 8},
    {"numInPkts", 1, "numInPkts", nullptr, 8},
    {"numOutPkts", 1, "numOutPkts", nullptr, 8},
    {"xmitsViaSkb", 1, "xmitsViaSkb", nullptr, 8},
    {"xmitsViaDesc", 1, "xmitsViaDesc", nullptr, 8},
    {"xmitsViaSendmsg", 1, "xmitsViaSendmsg", nullptr, 8},
    {"udpChecksums", 1, "udpChecksums", nullptr, 8},
    {"udpBadChecksums", 1, "udpBadChecksums", nullptr, 8},
    {"udpOutChecksums", 1, "udpOutChecksums", nullptr, 8},
    {"udpOutChecksumsSlow", 1, "udpOutChecksumsSlow", nullptr, 8},
    {"tcpConnsOpened", 1, "tcpConnsOpened", nullptr, 8},
    {"tcpConnsClosed", 1, "tcpConnsClosed", nullptr, 8},
    {"tcpConnsReset", 1, "tcpConnsReset", nullptr, 8},
    {"sockCreateFailures", 1, "sockCreateFailures", nullptr, 8},
    {"sockBindFailures", 1, "sockBindFailures", nullptr, 8},
};

// The thirteen line files; bcptime, a plain list of 60 numbers for
// bcp.histogram, is written on its own.
inline constexpr SimKernelFile kSimKernelFiles[] = {
    {"bcp", "bcp", kBcpLines, sizeof kBcpLines / sizeof kBcpLines[0]},
    {"exports", "exports", kExportsLines, sizeof kExportsLines / sizeof kExportsLines[0]},
    {"leaseConn", "leaseConn", kLeaseConnLines, sizeof kLeaseConnLines / sizeof kLeaseConnLines[0]},
    {"MountCacheStatistics ", "mountCache", kMountCacheStatisticsLines,
     sizeof kMountCacheStatisticsLines / sizeof kMountCacheStatisticsLines[0]},
    {"mountpointCache", "mountpointCache", kMountpointCacheLines,
     sizeof kMountpointCacheLines / sizeof kMountpointCacheLines[0]},
    {"packetStats", "packet", kPacketStatsLines,
     sizeof kPacketStatsLines / sizeof kPacketStatsLines[0]},
    {"raStats", "ra", kRaStatsLines, sizeof kRaStatsLines / sizeof kRaStatsLines[0]},
    {"replayCache", "replayCache", kReplayCacheLines,
     sizeof kReplayCacheLines / sizeof kReplayCacheLines[0]},
    {"RootCacheStatistics", "rootCache", kRootCacheStatisticsLines,
     sizeof kRootCacheStatisticsLines / sizeof kRootCacheStatisticsLines[0]},
    {"scp", "scp", kScpLines, sizeof kScpLines / sizeof kScpLines[0]},
    {"sidCache", "sidCache", kSidCacheLines, sizeof kSidCacheLines / sizeof kSidCacheLines[0]},
    {"tolmXmitDescs", "tolmXmitDescs", kTolmXmitDescsLines,
     sizeof kTolmXmitDescsLines / sizeof kTolmXmitDescsLines[0]},
    {"transportStats", "transport", kTransportStatsLines,
     sizeof kTransportStatsLines / sizeof kTransportStatsLines[0]},
};
