#pragma once

#include <netinet/in.h>
#include <pthread.h>
#include <rpc/rpc.h>

#include <cstdint>

#include "RfPthread.h"
#include "TolmFsLibHash.h"
#include "TolmFsLibLru.h"
#include "dldb.h"
#include "vldb.h"

// Cache entries: the LRU link first (the pool hands out entries by it), then
// the hash link.
struct ListEntry {
    LruEntry lruEntry;
    HashEntry hashEntry;
};

// The longest VFS name the client library takes.
constexpr size_t TOLM_MAX_VFS_NAME = 128;

struct Vfs2Dblade {
    ListEntry listEntry;
    char vfsName[TOLM_MAX_VFS_NAME + 1];
    uint32_t vfsId;
    uint32_t dbladeId;
    RfConn* connp;
};

struct Dblade2Ip {
    ListEntry listEntry;
    uint32_t dId;
    RfConn* connp;
};

// One thread's RPC handles to the location services.
struct Tsd {
    CLIENT* vldbClnt;
    CLIENT* dldbClnt;
};

// What a synchronous Rf call waits for.
struct rfCallState {
    int32_t code;  // the call's Rf error, 0 if none
    RfPacket* resp;
    pthread_cond_t* rfCbCond;
    pthread_mutex_t* rfCbMutex;
    bool done;
};

// The status of the calling thread's last failed getDbladeLockHeld by VFS id.
extern __thread uint32_t tolmFsLibErrNo;

// Which D-blade serves a VFS, and over which Rf connection it is reached.
//
// In location-service mode (the default) the VLDB gives the D-blade id of a VFS
// and the DLDB the host and Rf port of a D-blade, both over ONC RPC on TCP;
// the D-blade answers (with their Rf connections) are kept in a cache of 1024
// entries that are refilled least recently filled first. A VFS cache of the
// same size is used only while local caching is on, which this daemon never
// turns on. In stand-alone mode the location services are skipped and every
// VFS is served by the one D-blade given to `connect`.
//
// The Rf machinery (one UDP endpoint, one Rf instance, one dispatch thread) is
// process-wide: one TolmVldb is set up at a time.
//
// Every operation returns 0 or a status of the client library (TolmErr.h).
// Many threads may call in at once: each has its own RPC handles (made on
// first use, destroyed when the thread ends), so the RPC calls need no lock.
// A connection handed out stays valid until `destroy`, or until its cache
// entry is taken for another D-blade, which destroys it.
class TolmVldb {
  public:
    // The Rf call time-out a set-up gives its instance, and the one the
    // persistence code asks for.
    static constexpr int32_t kRfDefaultCallTimeoutSecs = 10;

    TolmVldb();
    ~TolmVldb();
    TolmVldb(const TolmVldb&) = delete;
    TolmVldb& operator=(const TolmVldb&) = delete;

    void setUseVldb(uint32_t flag) { _useVldb = flag; }
    uint32_t useVldb() const { return _useVldb; }
    // Once set, `setRfDefaultCallTimeout` no longer changes the Rf instance,
    // and no operation chooses a time-out of its own for its calls.
    void setUserSpecificRfTimeouts(uint32_t flag) { _userSpecificTimeouts = flag; }
    uint32_t userSpecificRfTimeouts() const { return _userSpecificTimeouts; }
    void setRfDefaultCallTimeout(int32_t secs);
    // Turns the VFS cache on or off (off when constructed).
    void setLocalCaching(bool on) { _localCachingEbabled = on; }
    static RfUserEndPoint* getEndPoint() { return _endp; }
    static Rf* getRf() { return _rfp; }

    // Location-service set-up: the caches, both host names resolved, the Rf
    // endpoint, instance and dispatch thread, the thread-specific key.
    // TOLM_ERR_NO_MEMORY when the caches cannot be had, TOLM_ERR_VLDB_HOST /
    // TOLM_ERR_DLDB_HOST for a host that does not resolve, a TOLM_ERR_PTHREAD
    // status for a thread library error. In stand-alone mode this is the plain
    // `create`.
    uint32_t create(const char* vldbHost, const char* dldbHost, uint32_t unused);
    // Stand-alone set-up (TOLM_ERR_NEED_HOSTS in location-service mode).
    uint32_t create();
    // Stand-alone mode: every VFS is on the D-blade at host:port (port in host
    // order). TOLM_ERR_CONNECT_IN_VLDB_MODE in location-service mode,
    // TOLM_ERR_BAD_HOST for a host that does not resolve, a TOLM_ERR_RF status
    // when the connection cannot be made.
    uint32_t connect(const char* host, uint16_t port);
    // Destroys every cached D-blade connection, then `cleanup`.
    void destroy();
    // Frees the caches and host names, stops the dispatch thread, destroys the
    // Rf instance and its endpoint, the calling thread's RPC handles and the
    // thread-specific key.
    void cleanup();

    // The calling thread's RPC handles, made on first use:
    // TOLM_ERR_VLDB_CONNECT or TOLM_ERR_DLDB_CONNECT when one cannot be made.
    uint32_t getTsd(Tsd** tsd);

    // The connection to the D-blade of a VFS id, or null with the status in
    // tolmFsLibErrNo. With `refresh` set a cached VFS answer is asked again.
    // Despite the name no lock is held when it returns: the caches' locks
    // are taken and released inside, and the connection stays valid as the
    // class comment says.
    RfConn* getDbladeLockHeld(uint32_t vfsId, uint32_t refresh);
    // The same by VFS name, giving the VFS id; 0 or a status
    // (TOLM_ERR_EMPTY_VOLUME_NAME for an empty name,
    // TOLM_ERR_INVALID_PARAMETERS for one longer than TOLM_MAX_VFS_NAME).
    // Stand-alone mode returns 0 at once and leaves `vfsId` alone. No lock is
    // held when it returns.
    uint32_t getDbladeLockHeld(const char* vfsName, uint32_t* vfsId, uint32_t refresh);

    // The VLDB queries, two attempts each on the thread's handle.
    uint32_t getDbladeIdByVfsId(Tsd* tsd, uint32_t vfsId, uint32_t* dbladeId);
    uint32_t getDbladeNVfsIdsByVfsName(Tsd* tsd, const char* vfsName, uint32_t* dbladeId,
                                       uint32_t* vfsId);
    // What the client takes from a decoded VLDB or DLDB reply: 0 and the
    // fields, or a status (the service's own result with its class,
    // TOLM_ERR_INVALID_DATA for a reply without a D-blade or host). `host`
    // points into the reply.
    static uint32_t vfsIdAnswer(const stream_vfsid_lookup_result& out, uint32_t* dbladeId);
    static uint32_t mountAnswer(const stream_mount_lookup_result& out, uint32_t* dbladeId,
                                uint32_t* vfsId);
    static uint32_t dldbAnswer(const DldbGetRes& res, const char** host, uint16_t* port);
    // Asks the DLDB where a D-blade is and fills a D-blade cache entry with a
    // new connection to it (or hands out the entry another thread filled for
    // the same D-blade meanwhile).
    uint32_t createNewDEntry(uint32_t dbladeId, Tsd* tsd, Dblade2Ip** entry);
    // 1 when both VLDB lookups succeed and give the same D-blade, else 0.
    uint32_t areTwoVfsesOnSameDblade(uint32_t vfsId1, uint32_t vfsId2);

    // One synchronous Rf call on the connection: the request is handed to the
    // engine; on success the reply is the caller's. `timeoutSecs` is this
    // call's own time-out, 0 the instance's default. A TOLM_ERR_RF status for
    // an Rf error, TOLM_ERR_PTHREAD for a thread library one.
    static uint32_t doRfCall(RfConn* connp, RfPacket* request, RfPacket** reply,
                             int32_t timeoutSecs = 0);

    // A TCP RPC client on a socket of its own (see the messages it prints on
    // standard error); the protocol text is not used. Null on failure.
    static CLIENT* my_clnt_create(const char* host, rpcprog_t prog, rpcvers_t vers,
                                  const char* proto);

    // The cache functions, by VFS name, VFS id and D-blade id.
    static uint32_t hashVfsName(const void* key);
    static uint32_t hashId(const void* key);
    static bool matchVfsName(const void* key, const void* data);
    static bool matchVfsId(const void* key, const void* data);
    static bool matchDbladeId(const void* key, const void* data);

    // For tests: the D-blade cache's hash and pool.
    TolmFsLibHash* dbladeHash() { return _d2IpHash; }
    TolmFsLibLru* dbladeLru() { return _d2IpLru; }

  private:
    uint32_t startRf(bool locationService);
    Dblade2Ip* findDblade(uint32_t dbladeId);
    RfConn* dbladeOf(Tsd* tsd, uint32_t dbladeId, uint32_t* status);
    void moveToTail(Vfs2Dblade* entry);
    void storeVfs(Vfs2Dblade* cached, const char* vfsName, uint32_t vfsId, uint32_t dbladeId,
                  RfConn* conn);
    static void rfCallCb(void* contextp, RfPacket* responsep, int32_t error);
    static void tolmFsLibKeyDestroy(void* tsd);

    pthread_t _dispatchThread;  // first: the dispatch thread's owner
    pthread_key_t _tolmFsLibKey;
    uint32_t _numDbladesInCluster = 0;
    uint32_t _userSpecificTimeouts = 0;
    char* _vldbHostName = nullptr;
    char* _dldbHostName = nullptr;
    in_addr_t _vldbIpAddr = 0;
    in_addr_t _dldbIpAddr = 0;
    uint32_t _useVldb = 1;
    bool _dispatchThreadStarted = false;
    bool _localCachingEbabled = false;
    bool _keyCreated = false;
    CLIENT* _vldbClnt = nullptr;
    CLIENT* _dldbClnt = nullptr;
    Vfs2Dblade _standAloneEntry;
    TolmFsLibLru* _vfs2DLru = nullptr;
    TolmFsLibHash* _vfs2DHash = nullptr;
    TolmFsLibLru* _d2IpLru = nullptr;
    TolmFsLibHash* _d2IpHash = nullptr;

    static Rf* _rfp;
    static RfUserEndPoint* _endp;
    // Guards the VFS cache's hash and pool inside their own operations
    // (handed to them at `create`).
    static pthread_mutex_t _vfsCacheMutex;
    // The same for the D-blade cache's hash and pool.
    static pthread_mutex_t _didCacheMutex;
    // Guards the VFS cache's entries (their fields and their place in the
    // pool's order) between a lookup and its refill: moveToTail, storeVfs.
    static pthread_mutex_t _vldbMutex;
    // Guards the filling of a D-blade cache entry (createNewDEntry), so that
    // two threads asking for one D-blade make one connection.
    static pthread_mutex_t _dldbMutex;
};
