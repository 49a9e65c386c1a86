#include "TolmVldb.h"

#include "RpcDeadline.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "Check.h"
#include "LocalRpcClient.h"
#include "OptionalLock.h"
#include "RpcDeadline.h"
#include "TolmErr.h"
#include "dldb.h"
#include "vldb.h"

__thread uint32_t tolmFsLibErrNo = 0;

Rf* TolmVldb::_rfp = nullptr;
RfUserEndPoint* TolmVldb::_endp = nullptr;
pthread_mutex_t TolmVldb::_vfsCacheMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t TolmVldb::_didCacheMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t TolmVldb::_vldbMutex = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t TolmVldb::_dldbMutex = PTHREAD_MUTEX_INITIALIZER;

namespace {

constexpr uint32_t kCacheEntries = 1024;
constexpr uint32_t kBucketMask = 0x3FF;
constexpr uint32_t kDbladeInterfaceId = 1;
constexpr int kAttempts = 2;
constexpr time_t kRpcTimeoutSecs = 25;

// The first IPv4 address of a host. On failure `herr` is the resolver's error
// and `notInet` tells a host that has only other kinds of address.
bool resolveHost(const char* host, in_addr_t* addr, int* herr, bool* notInet) {
    // One resolution at a time: the resolver's shared state is guarded by
    // locks of the C library that the thread checker cannot see, and handles
    // are made seldom enough for this to cost nothing.
    static pthread_mutex_t resolving = PTHREAD_MUTEX_INITIALIZER;
    OptionalLock hold(&resolving);
    hostent entry;
    hostent* found = nullptr;
    std::vector<char> buffer(1024);
    *herr = 0;
    *notInet = false;
    int rc;
    while ((rc = gethostbyname_r(host, &entry, buffer.data(), buffer.size(), &found, herr)) ==
               ERANGE &&
           buffer.size() < (1u << 20))
        buffer.resize(buffer.size() * 2);
    if (rc != 0 || found == nullptr)
        return false;
    if (found->h_addrtype != AF_INET || found->h_addr_list[0] == nullptr) {
        *notInet = true;
        return false;
    }
    memcpy(addr, found->h_addr_list[0], sizeof *addr);
    return true;
}

bool resolveQuietly(const char* host, in_addr_t* addr) {
    int herr;
    bool notInet;
    return resolveHost(host, addr, &herr, &notInet);
}

sockaddr_in ipv4(in_addr_t addr, uint16_t port) {
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = addr;
    to.sin_port = htons(port);
    return to;
}

void destroyClient(CLIENT** clnt) {
    if (*clnt != nullptr)
        clnt_destroy(*clnt);
    *clnt = nullptr;
}

}  // namespace

TolmVldb::TolmVldb() {
    memset(&_dispatchThread, 0, sizeof _dispatchThread);
    memset(&_tolmFsLibKey, 0, sizeof _tolmFsLibKey);
    memset(&_standAloneEntry, 0, sizeof _standAloneEntry);
}

TolmVldb::~TolmVldb() {
    cleanup();
}

void TolmVldb::setRfDefaultCallTimeout(int32_t secs) {
    if (_userSpecificTimeouts == 0 && _rfp != nullptr)
        Rf_setDefaultCallTimeout(_rfp, secs);
}

// ---- cache functions

uint32_t TolmVldb::hashVfsName(const void* key) {
    const char* name = static_cast<const char*>(key);
    uint32_t h = 0;
    for (size_t i = strlen(name); i > 0; i--) {
        int32_t ch = static_cast<int8_t>(name[i - 1]);
        h = h * 31 + static_cast<uint32_t>(ch) - 31;
    }
    return h & kBucketMask;
}

uint32_t TolmVldb::hashId(const void* key) {
    return *static_cast<const uint32_t*>(key) & kBucketMask;
}

bool TolmVldb::matchVfsName(const void* key, const void* data) {
    return strcmp(static_cast<const char*>(key), static_cast<const Vfs2Dblade*>(data)->vfsName) ==
           0;
}

bool TolmVldb::matchVfsId(const void* key, const void* data) {
    return *static_cast<const uint32_t*>(key) == static_cast<const Vfs2Dblade*>(data)->vfsId;
}

bool TolmVldb::matchDbladeId(const void* key, const void* data) {
    return *static_cast<const uint32_t*>(key) == static_cast<const Dblade2Ip*>(data)->dId;
}

// ---- set-up and tear-down

uint32_t TolmVldb::startRf(bool locationService) {
    int rc = RfUser_createUDPEndPoint(0, &_endp);
    if (rc != 0 || _endp == nullptr) {
        _endp = nullptr;
        return tolmErrOf(TOLM_ERR_RF, rc != 0 ? rc : -1);
    }
    if (Rf_create(_endp, &_rfp) != 0) {
        _rfp = nullptr;
        return TOLM_ERR_NO_MEMORY;
    }
    Rf_setDefaultCallTimeout(_rfp, kRfDefaultCallTimeoutSecs);
    // Both modes start the dispatch loop through the endpoint layer, which
    // keeps the process-wide note that it runs.
    (void)locationService;
    rc = RfUser_startDispatchThread(&_dispatchThread, nullptr, _endp);
    if (rc != 0)
        return tolmErrOf(TOLM_ERR_PTHREAD, rc);
    _dispatchThreadStarted = true;
    return 0;
}

uint32_t TolmVldb::create(const char* vldbHost, const char* dldbHost, uint32_t) {
    if (!_useVldb)
        return create();
    if (vldbHost == nullptr || dldbHost == nullptr)
        return TOLM_ERR_NEED_HOSTS;

    _numDbladesInCluster = kCacheEntries;
    _vfs2DLru = new (std::nothrow) TolmFsLibLru();
    _vfs2DHash = new (std::nothrow) TolmFsLibHash();
    _d2IpLru = new (std::nothrow) TolmFsLibLru();
    _d2IpHash = new (std::nothrow) TolmFsLibHash();
    if (_vfs2DLru == nullptr || _vfs2DHash == nullptr || _d2IpLru == nullptr ||
        _d2IpHash == nullptr ||
        !_vfs2DLru->create(_numDbladesInCluster, sizeof(Vfs2Dblade), &_vfsCacheMutex) ||
        !_vfs2DHash->create(_numDbladesInCluster, &_vfsCacheMutex) ||
        !_d2IpLru->create(_numDbladesInCluster, sizeof(Dblade2Ip), &_didCacheMutex) ||
        !_d2IpHash->create(_numDbladesInCluster, &_didCacheMutex)) {
        cleanup();
        return TOLM_ERR_NO_MEMORY;
    }

    if (!resolveQuietly(vldbHost, &_vldbIpAddr)) {
        cleanup();
        return TOLM_ERR_VLDB_HOST;
    }
    if (!resolveQuietly(dldbHost, &_dldbIpAddr)) {
        cleanup();
        return TOLM_ERR_DLDB_HOST;
    }
    _vldbHostName = strdup(vldbHost);
    _dldbHostName = strdup(dldbHost);
    if (_vldbHostName == nullptr || _dldbHostName == nullptr) {
        cleanup();
        return TOLM_ERR_NO_MEMORY;
    }

    uint32_t status = startRf(true);
    if (status != 0) {
        cleanup();
        return status;
    }
    int rc = pthread_key_create(&_tolmFsLibKey, tolmFsLibKeyDestroy);
    if (rc != 0) {
        cleanup();
        return tolmErrOf(TOLM_ERR_PTHREAD, rc);
    }
    _keyCreated = true;
    return 0;
}

uint32_t TolmVldb::create() {
    if (_useVldb)
        return TOLM_ERR_NEED_HOSTS;
    _numDbladesInCluster = 1;
    uint32_t status = startRf(false);
    if (status != 0)
        cleanup();
    return status;
}

uint32_t TolmVldb::connect(const char* host, uint16_t port) {
    if (_useVldb)
        return TOLM_ERR_CONNECT_IN_VLDB_MODE;
    if (host == nullptr || _rfp == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    in_addr_t addr;
    if (!resolveQuietly(host, &addr))
        return TOLM_ERR_BAD_HOST;
    _standAloneEntry.dbladeId = 0;
    sockaddr_in to = ipv4(addr, port);
    int rc = Rf_createClientConn(_rfp, &to, kDbladeInterfaceId, &_standAloneEntry.connp);
    if (rc < 0) {
        _standAloneEntry.connp = nullptr;
        return tolmErrOf(TOLM_ERR_RF, rc);
    }
    return 0;
}

void TolmVldb::destroy() {
    if (_useVldb && _d2IpLru != nullptr) {
        while (LruEntry* e = _d2IpLru->popLru()) {
            Dblade2Ip* entry = reinterpret_cast<Dblade2Ip*>(e);
            if (entry->connp != nullptr)
                Rf_destroyClientConn(entry->connp);
            entry->connp = nullptr;
        }
    }
    if (!_useVldb && _standAloneEntry.connp != nullptr) {
        Rf_destroyClientConn(_standAloneEntry.connp);
        _standAloneEntry.connp = nullptr;
    }
    cleanup();
}

void TolmVldb::cleanup() {
    delete _vfs2DLru;
    delete _vfs2DHash;
    delete _d2IpLru;
    delete _d2IpHash;
    _vfs2DLru = nullptr;
    _vfs2DHash = nullptr;
    _d2IpLru = nullptr;
    _d2IpHash = nullptr;
    free(_vldbHostName);
    free(_dldbHostName);
    _vldbHostName = nullptr;
    _dldbHostName = nullptr;
    if (_dispatchThreadStarted) {
        RfUser_killDispatchThread(&_dispatchThread);
        _dispatchThreadStarted = false;
    }
    if (_rfp != nullptr)
        Rf_destroy(_rfp);
    _rfp = nullptr;
    _standAloneEntry.connp = nullptr;
    if (_endp != nullptr)
        RfUser_destroyUDPEndPoint(_endp);
    _endp = nullptr;
    if (_keyCreated) {
        // The calling thread's handles; threads that ended took theirs along.
        void* tsd = pthread_getspecific(_tolmFsLibKey);
        pthread_setspecific(_tolmFsLibKey, nullptr);
        tolmFsLibKeyDestroy(tsd);
        pthread_key_delete(_tolmFsLibKey);
        _keyCreated = false;
    }
    destroyClient(&_vldbClnt);
    destroyClient(&_dldbClnt);
}

// ---- RPC handles

void TolmVldb::tolmFsLibKeyDestroy(void* p) {
    Tsd* tsd = static_cast<Tsd*>(p);
    if (tsd == nullptr)
        return;
    destroyClient(&tsd->vldbClnt);
    destroyClient(&tsd->dldbClnt);
    delete tsd;
}

CLIENT* TolmVldb::my_clnt_create(const char* host, rpcprog_t prog, rpcvers_t vers, const char*) {
    in_addr_t addr;
    int herr;
    bool notInet;
    if (!resolveHost(host, &addr, &herr, &notInet)) {
        rpc_createerr.cf_stat = RPC_UNKNOWNHOST;
        if (notInet)
            fprintf(stderr, "gethostbyname: h_addrtype not AF_INET.\n");
        else
            fprintf(stderr, "gethostbyname failed; herrno %d hostname: '%s'\n", herr, host);
        return nullptr;
    }
    in_addr where;
    where.s_addr = addr;
    uint16_t port = 0;
    if (!portmapperTcpPort(where, prog, vers, &port)) {
        fprintf(stderr, "Could not retrieve port for %s, prog %ld, vers %ld.\n", host,
                static_cast<long>(prog), static_cast<long>(vers));
        return nullptr;
    }
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (fd < 0) {
        rpc_createerr.cf_stat = RPC_SYSTEMERROR;
        rpc_createerr.cf_error.re_errno = errno;
        fprintf(stderr, "Cannot create socket: rv %d, errno %d.\n", fd, errno);
        return nullptr;
    }
    sockaddr_in to = ipv4(addr, port);
    int rv = ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    if (rv != 0) {
        int error = errno;
        rpc_createerr.cf_stat = RPC_SYSTEMERROR;
        rpc_createerr.cf_error.re_errno = error;
        fprintf(stderr, "Cannot connect to %s, prog %ld, vers %ld: rv %d, errno %d.\n", host,
                static_cast<long>(prog), static_cast<long>(vers), rv, error);
        errno = error;
        perror("Error on connect");
        close(fd);
        return nullptr;
    }
    // A client on the connected socket as it is: no reserved port is bound.
    netbuf server = {sizeof to, sizeof to, &to};
    CLIENT* clnt = clnt_vc_create(fd, &server, prog, vers, 0, 0);
    if (clnt == nullptr) {
        fprintf(stderr, "clnttcp_create failed.\n");
        close(fd);
        return nullptr;
    }
    timeval timeout = {kRpcTimeoutSecs, 0};
    clnt_control(clnt, CLSET_TIMEOUT, reinterpret_cast<char*>(&timeout));
    clnt_control(clnt, CLSET_FD_CLOSE, nullptr);
    return clnt;
}

uint32_t TolmVldb::getTsd(Tsd** out) {
    *out = nullptr;
    if (!_keyCreated)
        return TOLM_ERR_NEED_HOSTS;
    Tsd* tsd = static_cast<Tsd*>(pthread_getspecific(_tolmFsLibKey));
    if (tsd != nullptr) {
        *out = tsd;
        return 0;
    }
    tsd = new (std::nothrow) Tsd();
    if (tsd == nullptr)
        return TOLM_ERR_NO_MEMORY;
    tsd->vldbClnt = my_clnt_create(_vldbHostName, VLDB_PROGRAM, VLDB_VERSION_3, "tcp");
    if (tsd->vldbClnt == nullptr) {
        clnt_pcreateerror(_vldbHostName);
        delete tsd;
        return TOLM_ERR_VLDB_CONNECT;
    }
    tsd->dldbClnt = my_clnt_create(_dldbHostName, DLDB_PROGRAM, DLDB_VERSION_1, "tcp");
    if (tsd->dldbClnt == nullptr) {
        clnt_pcreateerror(_dldbHostName);
        tolmFsLibKeyDestroy(tsd);
        return TOLM_ERR_DLDB_CONNECT;
    }
    int rc = pthread_setspecific(_tolmFsLibKey, tsd);
    if (rc != 0) {
        tolmFsLibKeyDestroy(tsd);
        return tolmErrOf(TOLM_ERR_PTHREAD, rc);
    }
    *out = tsd;
    return 0;
}

// ---- location queries

// Two attempts of one call on a handle of the thread, made when missing; a
// failed handle is destroyed so that the next attempt makes a new one. Both
// together end within the 25 seconds of the time-out, whatever the service
// sends meanwhile (RpcDeadline.h): past it the status is RPC_TIMEDOUT.
static uint32_t twoAttempts(CLIENT** handle, const char* host, rpcprog_t prog, rpcvers_t vers,
                            uint32_t cannotConnect, const char* what,
                            const std::function<clnt_stat(CLIENT*)>& call) {
    clnt_stat st = RPC_SUCCESS;
    timespec deadline = RpcDeadline::after(static_cast<int32_t>(kRpcTimeoutSecs));
    for (int attempt = 1; attempt <= kAttempts; attempt++) {
        int32_t left = RpcDeadline::secondsLeft(deadline);
        if (left == 0) {
            st = RPC_TIMEDOUT;
            break;
        }
        if (*handle == nullptr) {
            *handle = TolmVldb::my_clnt_create(host, prog, vers, "tcp");
            if (*handle == nullptr)
                return cannotConnect;
        }
        timeval wait = {left, 0};
        clnt_control(*handle, CLSET_TIMEOUT, reinterpret_cast<char*>(&wait));
        int fd = -1;
        clnt_control(*handle, CLGET_FD, reinterpret_cast<char*>(&fd));
        bool late;
        {
            RpcDeadline guard(fd, deadline);
            st = call(*handle);
            late = guard.fired();
        }
        if (st == RPC_SUCCESS)
            return 0;
        if (late) {
            st = RPC_TIMEDOUT;
            clnt_perror(*handle, what);
            destroyClient(handle);
            break;
        }
        if (attempt == kAttempts)
            clnt_perror(*handle, what);
        destroyClient(handle);
    }
    return tolmErrOf(TOLM_ERR_RPC, st);
}

uint32_t TolmVldb::getDbladeIdByVfsId(Tsd* tsd, uint32_t vfsId, uint32_t* dbladeId) {
    stream_vfsid_lookup_input in = {vfsId, 0};
    stream_vfsid_lookup_result out;
    uint32_t status =
        twoAttempts(&tsd->vldbClnt, _vldbHostName, VLDB_PROGRAM, VLDB_VERSION_3,
                    TOLM_ERR_VLDB_CONNECT, "stream_vfsid_lookup :", [&](CLIENT* clnt) {
                        memset(&out, 0, sizeof out);
                        return stream_vfsid_lookup_3(&in, &out, clnt);
                    });
    if (status != 0)
        return status;
    status = vfsIdAnswer(out, dbladeId);
    clnt_freeres(tsd->vldbClnt, reinterpret_cast<xdrproc_t>(xdr_stream_vfsid_lookup_result),
                 reinterpret_cast<char*>(&out));
    return status;
}

uint32_t TolmVldb::getDbladeNVfsIdsByVfsName(Tsd* tsd, const char* vfsName, uint32_t* dbladeId,
                                             uint32_t* vfsId) {
    stream_mount_lookup_input in;
    in.context = 0;
    // The name travels with its terminating zero.
    in.mntpt.mntpt_len = static_cast<u_int>(strlen(vfsName) + 1);
    in.mntpt.mntpt_val = const_cast<char*>(vfsName);
    stream_mount_lookup_result out;
    uint32_t status =
        twoAttempts(&tsd->vldbClnt, _vldbHostName, VLDB_PROGRAM, VLDB_VERSION_3,
                    TOLM_ERR_VLDB_CONNECT, "stream_mount_lookup :", [&](CLIENT* clnt) {
                        memset(&out, 0, sizeof out);
                        return stream_mount_lookup_3(&in, &out, clnt);
                    });
    if (status != 0)
        return status;
    status = mountAnswer(out, dbladeId, vfsId);
    clnt_freeres(tsd->vldbClnt, reinterpret_cast<xdrproc_t>(xdr_stream_mount_lookup_result),
                 reinterpret_cast<char*>(&out));
    return status;
}

uint32_t TolmVldb::vfsIdAnswer(const stream_vfsid_lookup_result& out, uint32_t* dbladeId) {
    if (out.result != 0)
        return out.result | TOLM_ERR_VLDB;
    if (out.dblade_id.dblade_id_len == 0 || out.dblade_id.dblade_id_val == nullptr)
        return TOLM_ERR_INVALID_DATA;
    *dbladeId = out.dblade_id.dblade_id_val[0];
    return 0;
}

uint32_t TolmVldb::mountAnswer(const stream_mount_lookup_result& out, uint32_t* dbladeId,
                               uint32_t* vfsId) {
    if (out.result != 0) {
        *vfsId = 0xFFFFFFFF;
        return out.result | TOLM_ERR_VLDB;
    }
    if (out.dblade_id.dblade_id_len == 0 || out.dblade_id.dblade_id_val == nullptr) {
        *vfsId = 0xFFFFFFFF;
        return TOLM_ERR_INVALID_DATA;
    }
    *dbladeId = static_cast<uint16_t>(out.dblade_id.dblade_id_val[0]);
    *vfsId = out.vfsid;
    return 0;
}

uint32_t TolmVldb::dldbAnswer(const DldbGetRes& res, const char** host, uint16_t* port) {
    // The status as the number it came as: a DLDB may send values the enum
    // does not name, and reading those through the enum is undefined.
    int32_t st;
    static_assert(sizeof st == sizeof res.status, "an XDR enum is 32 bits");
    memcpy(&st, &res.status, sizeof st);
    // A D-blade out of quorum still has an address worth trying.
    if (st != DLDB_STATUS_OK && st != DLDB_STATUS_NODE_UNHEALTHY)
        return static_cast<uint32_t>(st) | TOLM_ERR_DLDB;
    if (res.host.host_len == 0 || res.host.host_val == nullptr ||
        res.host.host_val[0].name == nullptr)
        return TOLM_ERR_INVALID_DATA;
    *host = res.host.host_val[0].name;
    *port = res.host.host_val[0].port;
    return 0;
}

Dblade2Ip* TolmVldb::findDblade(uint32_t dbladeId) {
    HashEntry* found = _d2IpHash->findEntry(&dbladeId, hashId, matchDbladeId);
    return found != nullptr ? static_cast<Dblade2Ip*>(found->data) : nullptr;
}

uint32_t TolmVldb::createNewDEntry(uint32_t dbladeId, Tsd* tsd, Dblade2Ip** entryOut) {
    Did did = static_cast<Did>(dbladeId);
    DldbGetRes res;
    uint32_t status = twoAttempts(&tsd->dldbClnt, _dldbHostName, DLDB_PROGRAM, DLDB_VERSION_1,
                                  TOLM_ERR_DLDB_CONNECT, "dldb_getHostByDid :", [&](CLIENT* clnt) {
                                      memset(&res, 0, sizeof res);
                                      return gethostbydid_1(&did, &res, clnt);
                                  });
    if (status != 0)
        return status;
    uint16_t port = 0;
    in_addr_t addr = 0;
    const char* host = nullptr;
    status = dldbAnswer(res, &host, &port);
    if (status == 0 && !resolveQuietly(host, &addr))
        status = TOLM_ERR_BAD_HOST;
    clnt_freeres(tsd->dldbClnt, reinterpret_cast<xdrproc_t>(xdr_DldbGetRes),
                 reinterpret_cast<char*>(&res));
    if (status != 0)
        return status;

    pthread_mutex_lock(&_dldbMutex);
    // Another thread may have filled this D-blade while we asked.
    Dblade2Ip* entry = findDblade(dbladeId);
    if (entry == nullptr) {
        entry = reinterpret_cast<Dblade2Ip*>(_d2IpLru->popLru());
        TOLM_CHECK_TEXT(entry != nullptr, "entry != __null");
        _d2IpHash->deleteEntry(&entry->listEntry.hashEntry);
        // The entry held the least recently filled D-blade: its connection goes.
        if (entry->connp != nullptr)
            Rf_destroyClientConn(entry->connp);
        entry->connp = nullptr;
        entry->dId = dbladeId;
        sockaddr_in to = ipv4(addr, port);
        int rc = Rf_createClientConn(_rfp, &to, kDbladeInterfaceId, &entry->connp);
        if (rc < 0) {
            entry->connp = nullptr;
            _d2IpLru->pushLruAtTop(&entry->listEntry.lruEntry);
            pthread_mutex_unlock(&_dldbMutex);
            return tolmErrOf(TOLM_ERR_RF, rc);
        }
        _d2IpHash->insertEntry(&entry->dId, entry, &entry->listEntry.hashEntry, hashId);
        _d2IpLru->pushLru(&entry->listEntry.lruEntry);
    }
    pthread_mutex_unlock(&_dldbMutex);
    *entryOut = entry;
    return 0;
}

RfConn* TolmVldb::dbladeOf(Tsd* tsd, uint32_t dbladeId, uint32_t* status) {
    Dblade2Ip* entry = findDblade(dbladeId);
    if (entry == nullptr) {
        *status = createNewDEntry(dbladeId, tsd, &entry);
        if (*status != 0)
            return nullptr;
    }
    return entry->connp;
}

// Called with _vldbMutex held.
void TolmVldb::moveToTail(Vfs2Dblade* entry) {
    if (entry->listEntry.lruEntry.inLru)
        _vfs2DLru->deleteEntry(&entry->listEntry.lruEntry);
    _vfs2DLru->pushLru(&entry->listEntry.lruEntry);
}

// Refills the VFS cache entry found before the question (kept in its hash
// bucket), or the least recently used one, keyed by name or (name null) id.
void TolmVldb::storeVfs(Vfs2Dblade* cached, const char* vfsName, uint32_t vfsId, uint32_t dbladeId,
                        RfConn* conn) {
    pthread_mutex_lock(&_vldbMutex);
    Vfs2Dblade* entry = cached;
    if (entry != nullptr) {
        if (entry->listEntry.lruEntry.inLru)
            _vfs2DLru->deleteEntry(&entry->listEntry.lruEntry);
    } else {
        entry = reinterpret_cast<Vfs2Dblade*>(_vfs2DLru->popLru());
        TOLM_CHECK_TEXT(entry != nullptr, "entry != __null");
        _vfs2DHash->deleteEntry(&entry->listEntry.hashEntry);
    }
    if (vfsName != nullptr)
        snprintf(entry->vfsName, sizeof entry->vfsName, "%s", vfsName);
    entry->vfsId = vfsId;
    entry->dbladeId = dbladeId;
    entry->connp = conn;
    if (cached == nullptr) {
        if (vfsName != nullptr)
            _vfs2DHash->insertEntry(entry->vfsName, entry, &entry->listEntry.hashEntry,
                                    hashVfsName);
        else
            _vfs2DHash->insertEntry(&entry->vfsId, entry, &entry->listEntry.hashEntry, hashId);
    }
    _vfs2DLru->pushLru(&entry->listEntry.lruEntry);
    pthread_mutex_unlock(&_vldbMutex);
}

RfConn* TolmVldb::getDbladeLockHeld(uint32_t vfsId, uint32_t refresh) {
    if (!_useVldb)
        return _standAloneEntry.connp;
    if (_d2IpHash == nullptr) {
        tolmFsLibErrNo = TOLM_ERR_NEED_HOSTS;
        return nullptr;
    }
    Vfs2Dblade* cached = nullptr;
    if (_localCachingEbabled) {
        HashEntry* found = _vfs2DHash->findEntry(&vfsId, hashId, matchVfsId);
        if (found != nullptr) {
            cached = static_cast<Vfs2Dblade*>(found->data);
            if (!refresh) {
                pthread_mutex_lock(&_vldbMutex);
                moveToTail(cached);
                RfConn* conn = cached->connp;
                pthread_mutex_unlock(&_vldbMutex);
                return conn;
            }
        }
    }
    Tsd* tsd;
    uint32_t dbladeId = 0;
    uint32_t status = getTsd(&tsd);
    if (status == 0)
        status = getDbladeIdByVfsId(tsd, vfsId, &dbladeId);
    RfConn* conn = status == 0 ? dbladeOf(tsd, dbladeId, &status) : nullptr;
    if (conn == nullptr) {
        tolmFsLibErrNo = status;
        return nullptr;
    }
    if (_localCachingEbabled)
        storeVfs(cached, nullptr, vfsId, dbladeId, conn);
    return conn;
}

uint32_t TolmVldb::getDbladeLockHeld(const char* vfsName, uint32_t* vfsId, uint32_t refresh) {
    if (!_useVldb)
        return 0;
    if (vfsName == nullptr || vfsId == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (vfsName[0] == '\0')
        return TOLM_ERR_EMPTY_VOLUME_NAME;
    // A longer name would not fit a cache entry.
    if (strlen(vfsName) > TOLM_MAX_VFS_NAME)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (_d2IpHash == nullptr)
        return TOLM_ERR_NEED_HOSTS;
    Vfs2Dblade* cached = nullptr;
    if (_localCachingEbabled) {
        HashEntry* found = _vfs2DHash->findEntry(vfsName, hashVfsName, matchVfsName);
        if (found != nullptr) {
            cached = static_cast<Vfs2Dblade*>(found->data);
            if (!refresh) {
                pthread_mutex_lock(&_vldbMutex);
                moveToTail(cached);
                *vfsId = cached->vfsId;
                pthread_mutex_unlock(&_vldbMutex);
                return 0;
            }
        }
    }
    Tsd* tsd;
    uint32_t dbladeId = 0;
    uint32_t id = 0;
    uint32_t status = getTsd(&tsd);
    if (status == 0)
        status = getDbladeNVfsIdsByVfsName(tsd, vfsName, &dbladeId, &id);
    if (status != 0) {
        if (status >> 24 == TOLM_ERR_VLDB >> 24)
            *vfsId = 0xFFFFFFFF;
        return status;
    }
    RfConn* conn = dbladeOf(tsd, dbladeId, &status);
    if (conn == nullptr)
        return status;
    *vfsId = id;
    if (_localCachingEbabled)
        storeVfs(cached, vfsName, id, dbladeId, conn);
    return 0;
}

uint32_t TolmVldb::areTwoVfsesOnSameDblade(uint32_t vfsId1, uint32_t vfsId2) {
    Tsd* tsd;
    if (getTsd(&tsd) != 0)
        return 0;
    uint32_t d1 = 0;
    uint32_t d2 = 0;
    if (getDbladeIdByVfsId(tsd, vfsId1, &d1) != 0)
        return 0;
    if (getDbladeIdByVfsId(tsd, vfsId2, &d2) != 0)
        return 0;
    return d1 == d2 ? 1 : 0;
}

// ---- synchronous Rf call

void TolmVldb::rfCallCb(void* contextp, RfPacket* responsep, int32_t error) {
    rfCallState* state = static_cast<rfCallState*>(contextp);
    int err = pthread_mutex_lock(state->rfCbMutex);
    TOLM_CHECK_TEXT(err == 0, "err == 0");
    state->resp = responsep;
    state->code = error;
    state->done = true;
    err = pthread_cond_signal(state->rfCbCond);
    TOLM_CHECK_TEXT(err == 0, "err == 0");
    err = pthread_mutex_unlock(state->rfCbMutex);
    TOLM_CHECK_TEXT(err == 0, "err == 0");
}

uint32_t TolmVldb::doRfCall(RfConn* connp, RfPacket* request, RfPacket** reply,
                            int32_t timeoutSecs) {
    *reply = nullptr;
    pthread_mutex_t mutex;
    pthread_cond_t cond;
    int err = pthread_mutex_init(&mutex, nullptr);
    if (err != 0) {
        Rf_freePacket(request);
        return tolmErrOf(TOLM_ERR_PTHREAD, err);
    }
    err = pthread_cond_init(&cond, nullptr);
    if (err != 0) {
        pthread_mutex_destroy(&mutex);
        Rf_freePacket(request);
        return tolmErrOf(TOLM_ERR_PTHREAD, err);
    }
    rfCallState state = {0, nullptr, &cond, &mutex, false};
    // The engine may complete the call on this thread before it returns, so
    // the state is looked at under the mutex only after the call is started.
    err = Rf_iCall(connp, request, rfCallCb, &state, connp->interfaceId, timeoutSecs);
    if (err == 0)
        err = pthread_mutex_lock(&mutex);
    if (err == 0) {
        while (!state.done)
            pthread_cond_wait(&cond, &mutex);
        err = pthread_mutex_unlock(&mutex);
    }
    pthread_cond_destroy(&cond);
    pthread_mutex_destroy(&mutex);
    if (state.code != 0) {
        if (state.resp != nullptr)
            Rf_freePacket(state.resp);
        return tolmErrOf(TOLM_ERR_RF, state.code);
    }
    if (err != 0) {
        if (state.resp != nullptr)
            Rf_freePacket(state.resp);
        return tolmErrOf(TOLM_ERR_PTHREAD, err);
    }
    *reply = state.resp;
    return 0;
}
