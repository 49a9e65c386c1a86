#include "CollectorMain.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include "CollectionEnv.h"
#include "RecordFiles.h"
#include "SLogger.h"
#include "SignalMgr.h"
#include "SerializationException.h"
#include "SnapDir.h"
#include "Snapshot.h"
#include "TlDirectory.h"
#include "TlSerializer.h"
#include "TlXmlRenderer.h"
#include "TolmErr.h"

CollectorMain::CollectorMain(CollectorConfig& config, CollectionEnv* env)
    : _shortRing(config.shortRingSize),
      _longRing(config.longRingSize),
      _statsDirMgr(config.vfsname, config.persistedRingSize),
      _config(config),
      _env(env),
      _started(false),
      _persistenceStarted(false),
      _shutdown(false) {
    SLogger::info("settings: %s", config.getSettings());
    pthread_cond_init(&_cv, nullptr);
    pthread_mutex_init(&_persistenceLock, nullptr);
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&_pauseCv, &attr);
    pthread_condattr_destroy(&attr);
    pthread_mutex_init(&_pauseLock, nullptr);
    start();
}

void CollectorMain::start() {
    int rc = pthread_create(&_persistenceThread, nullptr, persistStub, this);
    if (rc != 0) {
        SLogger::err("Failed to create persistence thread: %d", rc);
        fprintf(stderr, "Failed to create persistence thread: %d\n", rc);
        return;
    }
    _persistenceStarted = true;
    rc = pthread_create(&_collectionThread, nullptr, collectStub, this);
    if (rc != 0) {
        SLogger::err("Failed to create collection thread: %d", rc);
        fprintf(stderr, "Failed to create collection thread: %d\n", rc);
        _shutdown = true;
        return;
    }
    _started = true;
}

CollectorMain::~CollectorMain() {
    if (_started) {
        waitToComplete();
    } else if (_persistenceStarted) {
        // Only the persistence thread runs: stop it before its lock and
        // condition go away.
        shutdown();
        pthread_join(_persistenceThread, nullptr);
    }
    SLogger::info("shutting down");
    pthread_cond_destroy(&_cv);
    pthread_mutex_destroy(&_persistenceLock);
    pthread_cond_destroy(&_pauseCv);
    pthread_mutex_destroy(&_pauseLock);
    for (Snapshot* s : _persistq)
        if (s)
            s->release();
}

void CollectorMain::shutdown() {
    _shutdown = true;
    pthread_mutex_lock(&_persistenceLock);
    pthread_cond_broadcast(&_cv);
    pthread_mutex_unlock(&_persistenceLock);
    pthread_mutex_lock(&_pauseLock);
    pthread_cond_broadcast(&_pauseCv);
    pthread_mutex_unlock(&_pauseLock);
}

void CollectorMain::waitToComplete() {
    if (!_started)
        return;
    if (_persistenceStarted)
        pthread_join(_persistenceThread, nullptr);
    if (!_collectionJoined)
        pthread_join(_collectionThread, nullptr);
    _collectionJoined = true;
    _started = false;
    _persistenceStarted = false;
}

bool CollectorMain::waitToComplete(int timeoutMs) {
    if (!_started)
        return true;
    timespec deadline;
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += timeoutMs / 1000;
    deadline.tv_nsec += static_cast<long>(timeoutMs % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec++;
        deadline.tv_nsec -= 1000000000L;
    }
    // The collection thread first: it ends within a collection, while a
    // persistence may wait long for the cluster; a thread that has ended is
    // joined even when the other is not waited for.
    if (!_collectionJoined) {
        if (pthread_timedjoin_np(_collectionThread, nullptr, &deadline) != 0)
            return false;
        _collectionJoined = true;
    }
    if (_persistenceStarted) {
        if (pthread_timedjoin_np(_persistenceThread, nullptr, &deadline) != 0)
            return false;
        _persistenceStarted = false;
    }
    _started = false;
    return true;
}

void CollectorMain::abandonThreads() {
    if (!_started)
        return;
    if (!_collectionJoined)
        pthread_detach(_collectionThread);
    if (_persistenceStarted)
        pthread_detach(_persistenceThread);
    _collectionJoined = true;
    _persistenceStarted = false;
    _started = false;
}

void* CollectorMain::collectStub(void* self) {
    return static_cast<CollectorMain*>(self)->collect();
}

void* CollectorMain::persistStub(void* self) {
    return static_cast<CollectorMain*>(self)->persist();
}

void CollectorMain::pause(unsigned int seconds) {
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += seconds;
    pthread_mutex_lock(&_pauseLock);
    while (!_shutdown) {
        if (pthread_cond_timedwait(&_pauseCv, &_pauseLock, &deadline) == ETIMEDOUT)
            break;
    }
    pthread_mutex_unlock(&_pauseLock);
}

void* CollectorMain::collect() {
    int32_t n = 0;
    while (!_shutdown) {
        const uint32_t sample = static_cast<uint32_t>(n);
        Snapshot* s = _env->takeSnapshot();
        // Every persistSampleRate-th snapshot also goes to the persistence thread.
        if (_config.persistSampleRate != 0 && sample % _config.persistSampleRate == 0) {
            std::vector<int32_t> dropped;
            pthread_mutex_lock(&_persistenceLock);
            s->addRef();
            _persistq.push_back(s);
            while (_persistq.size() > persistQueueLimit()) {
                dropped.push_back(_persistq.front()->timestamp);
                _persistq.front()->release();
                _persistq.pop_front();
            }
            pthread_cond_signal(&_cv);
            pthread_mutex_unlock(&_persistenceLock);
            for (int32_t t : dropped)
                SLogger::warning("persistence behind: dropping queued snapshot %s",
                                 stampName(t).c_str());
        }
        // Every longSampleRate-th snapshot goes to the long history, the
        // others to the short one.
        if (sample % _config.longSampleRate == 0)
            _longRing.add(s);
        else
            _shortRing.add(s);
        s->release();
        pause(_config.baseCollectionPeriod);
        n = nextSampleNumber(n);
    }
    return nullptr;
}

size_t CollectorMain::persistQueueLimit() const {
    constexpr size_t kKeepAllLimit = 1000;
    if (_config.persistedRingSize < 0)
        return kKeepAllLimit;
    return std::max<size_t>(1, static_cast<size_t>(_config.persistedRingSize));
}

int32_t CollectorMain::nextSampleNumber(int32_t n) {
    // The increment wraps in unsigned arithmetic (a signed overflow would be
    // undefined); a number that came out negative starts again at 0.
    int32_t next = static_cast<int32_t>(static_cast<uint32_t>(n) + 1u);
    return next < 0 ? 0 : next;
}

void* CollectorMain::persist() {
    for (;;) {
        pthread_mutex_lock(&_persistenceLock);
        while (_persistq.empty() && !_shutdown)
            pthread_cond_wait(&_cv, &_persistenceLock);
        if (_shutdown) {
            size_t dropped = _persistq.size();
            for (Snapshot* s : _persistq)
                if (s)
                    s->release();
            _persistq.clear();
            pthread_mutex_unlock(&_persistenceLock);
            if (dropped)
                SLogger::info("%d queued snapshots not persisted", static_cast<int>(dropped));
            return nullptr;
        }
        Snapshot* s = _persistq.front();
        _persistq.pop_front();
        pthread_mutex_unlock(&_persistenceLock);
        if (!s)
            continue;
        try {
            if (!_env->persistSnapshot(s)) {
                if (_config.persistBinary)
                    persistBinary(s);
                else
                    persistXml(s);
            }
        } catch (...) {
            SLogger::err("Uncaught exception in persist");
        }
        s->release();
    }
}

// Each record goes into its own file; a record that cannot be written costs
// only its file. A file written before (two persistences in one second) is
// cut to the new length, so no old bytes remain after its end.
void CollectorMain::persistBinary(Snapshot* snapshot) {
    SLogger::debug("Persisting binary");
    SnapDir* dir = _statsDirMgr.getSnapDir();
    if (dir == nullptr)
        return;
    notePersisting(dir->directory()->getPath());
    forEachRecordFile(snapshot, [&](auto& rec, const char* name, const char*, const char* error) {
        TlSerializer* s = nullptr;
        try {
            s = dir->getSerializer(name);
            Serializer& out = *s;
            serializeWhole(rec, out);
            s->close();
            s->cutToWritten();
        } catch (SerializationException& e) {
            SLogger::err(error, e.msg.c_str(), static_cast<int>(e.code));
            if (s != nullptr)
                removePartial(dir, name);
        }
        delete s;
    });
    notePersisting("");
    delete dir;
}

void CollectorMain::persistXml(Snapshot* snapshot) {
    SLogger::debug("Persisting XML");
    SnapDir* dir = _statsDirMgr.getSnapDir();
    if (dir == nullptr)
        return;
    notePersisting(dir->directory()->getPath());
    forEachRecordFile(snapshot, [&](auto& rec, const char*, const char* name, const char* error) {
        TlXmlRenderer* r = nullptr;
        try {
            r = dir->getXmlRenderer(name);
            r->skipZeroAttributes(_config.skipZeroXmlStats);
            r->header();
            rec.toXml(*r);
            r->close();
            r->cutToWritten();
        } catch (SerializationException& e) {
            SLogger::err(error, e.msg.c_str(), static_cast<int>(e.code));
            if (r != nullptr)
                removePartial(dir, name);
        }
        delete r;
    });
    notePersisting("");
    delete dir;
}

// A record file whose write failed would be read back cut short: it goes.
void CollectorMain::removePartial(SnapDir* dir, const char* name) {
    TlDirectory* d = dir->directory();
    uint32_t st = d->remove(name);
    if (st == 0)
        SLogger::err("Removed %s/%s from the volume: its write failed", d->getPath().c_str(), name);
    else
        SLogger::err("Failed to remove %s/%s after its write failed: %s (%d)",
                     d->getPath().c_str(), name, TolmErr::tolmFsLibError(st),
                     static_cast<int>(st));
}

void CollectorMain::notePersisting(const std::string& path) {
    pthread_mutex_lock(&_persistenceLock);
    _persisting = path;
    pthread_mutex_unlock(&_persistenceLock);
}

std::string CollectorMain::persistenceInProgress() {
    pthread_mutex_lock(&_persistenceLock);
    std::string path = _persisting;
    pthread_mutex_unlock(&_persistenceLock);
    return path;
}

SnapshotRing* CollectorMain::getAllSnapshots() {
    SnapshotRing* all = new SnapshotRing(_shortRing);
    all->merge(_longRing);
    return all;
}

Snapshot* CollectorMain::getEarliestSnapshot() {
    Snapshot* s = _shortRing.earliest();
    Snapshot* l = _longRing.earliest();
    // On equal timestamps the long ring's snapshot wins.
    if (s && (!l || s->timestamp < l->timestamp)) {
        if (l)
            l->release();
        return s;
    }
    if (s)
        s->release();
    return l;
}

Snapshot* CollectorMain::getLatestSnapshot() {
    Snapshot* s = _shortRing.latest();
    Snapshot* l = _longRing.latest();
    if (s && (!l || s->timestamp > l->timestamp)) {
        if (l)
            l->release();
        return s;
    }
    if (s)
        s->release();
    return l;
}

Snapshot* CollectorMain::getSnapshot(long timestamp) {
    Snapshot* s = _shortRing.find(timestamp);
    return s ? s : _longRing.find(timestamp);
}

void CollectorMain::getTimestamps(std::vector<unsigned int>& out) {
    out.clear();
    _shortRing.populateTimestamps(out);
    _longRing.populateTimestamps(out);
    std::sort(out.begin(), out.end());
}
