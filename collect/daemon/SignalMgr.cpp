#include "SignalMgr.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "DbladeStats.h"
#include "DumpDir.h"
#include "FcdStats.h"
#include "FileBuffer.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "RecordFiles.h"
#include "SLogger.h"
#include "SerializationException.h"
#include "Snapshot.h"
#include "SnapshotProvider.h"
#include "SnapshotRing.h"
#include "XmlDumper.h"

SignalMgr SignalMgr::_instance;
volatile int SignalMgr::sig_signo = 0;
volatile int SignalMgr::sig_sigerrno = 0;
volatile int32_t SignalMgr::sig_code = 0;
void* volatile SignalMgr::sig_addr = nullptr;

namespace {

sigset_t servedSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGUSR1);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    return set;
}

template <typename R>
void writeBinary(const DumpDir& dir, const char* name, R& rec) {
    try {
        // The whole record into memory, then into its file.
        FileBuffer b;
        serializeWhole(rec, b);
        dir.writeFile(name, b.data(), b.size());
    } catch (SerializationException& e) {
        SLogger::err("%s/%s: %s: %d", dir.path().c_str(), name, e.msg.c_str(),
                     static_cast<int>(e.code));
    }
}

template <typename R>
void writeXml(const DumpDir& dir, const char* name, R& rec, bool skipZero) {
    int fd = dir.create(name);
    if (fd < 0)
        return;
    int error;
    {
        XmlDumper d(fd);
        d.skipZeroAttributes(skipZero);
        rec.toXml(d);
        error = d.flush();
    }
    dir.finish(name, fd, error);
}

}  // namespace

void dumpBinary(const DumpDir& dir, Snapshot* snapshot) {
    forEachRecordFile(snapshot, [&](auto& rec, const char* name, const char*, const char*) {
        writeBinary(dir, name, rec);
    });
}

void dumpXml(const DumpDir& dir, Snapshot* snapshot, bool skipZero) {
    forEachRecordFile(snapshot, [&](auto& rec, const char*, const char* xmlName, const char*) {
        writeXml(dir, xmlName, rec, skipZero);
    });
}

SignalMgr::SignalMgr()
    : _initialized(false),
      _dumpEnabled(false),
      _dumpAsXml(false),
      _skipZeroAttrs(true),
      _pProvider(nullptr),
      _stopHandler(nullptr),
      _stopArg(nullptr) {}

SignalMgr::~SignalMgr() {
    if (_initialized)
        sigaction(SIGUSR1, &_oldsa, nullptr);
}

void SignalMgr::blockServedSignals() {
    sigset_t set = servedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void SignalMgr::initialize(SnapshotProvider* provider, const char* dir, bool dumpAsXml,
                           bool skipZeroAttrs) {
    _instance._initialize(provider, dir, dumpAsXml, skipZeroAttrs);
}

void SignalMgr::setStopHandler(void (*handler)(void*), void* arg) {
    _instance._stopHandler = handler;
    _instance._stopArg = arg;
}

void SignalMgr::configure(SnapshotProvider* provider, const char* dir, bool dumpAsXml,
                          bool skipZeroAttrs) {
    pthread_mutex_lock(&_configLock);
    _pProvider = provider;
    _dumpAsXml = dumpAsXml;
    _skipZeroAttrs = skipZeroAttrs;
    _dumpEnabled = dir != nullptr;
    if (dir)
        _dir = dir;
    pthread_mutex_unlock(&_configLock);
}

void SignalMgr::_initialize(SnapshotProvider* provider, const char* dir, bool dumpAsXml,
                            bool skipZeroAttrs) {
    configure(provider, dir, dumpAsXml, skipZeroAttrs);
    // The served signals arrive through sigwait on the signal thread; their
    // actions stay the defaults, which a blocked signal never runs.
    sigaction(SIGUSR1, nullptr, &_oldsa);
    blockServedSignals();

    struct sigaction sa;
    sa.sa_sigaction = handleSyncSigs;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_SIGINFO;
    sigaction(SIGSEGV, &sa, nullptr);
    sigaction(SIGBUS, &sa, nullptr);

    // One signal thread serves the process, for the single instance.
    if (this == &_instance && !_threadStarted) {
        int rc = pthread_create(&_thread, nullptr, signalThread, nullptr);
        if (rc != 0) {
            SLogger::err("Failed to create signal thread: %d", rc);
        } else {
            _threadStarted = true;
        }
    }
    _initialized = true;
}

bool SignalMgr::_threadStarted = false;
pthread_t SignalMgr::_thread;
std::atomic<bool> SignalMgr::_stopping{false};

void SignalMgr::stop() {
    if (!_threadStarted)
        return;
    _stopping = true;
    // Wakes the thread's sigwait; the signal is served by nobody.
    pthread_kill(_thread, SIGTERM);
    pthread_join(_thread, nullptr);
    _threadStarted = false;
    _stopping = false;
}

void* SignalMgr::signalThread(void*) {
    SignalMgr* mgr = &_instance;
    sigset_t set = servedSignals();
    for (;;) {
        int sig = 0;
        if (sigwait(&set, &sig) != 0)
            continue;
        if (_stopping)
            break;
        if (sig == SIGUSR1) {
            dumpSnapshots(sig);
        } else if (mgr->_stopHandler) {
            mgr->_stopHandler(mgr->_stopArg);
        } else {
            _exit(0);
        }
    }
    return nullptr;
}

void SignalMgr::dumpSnapshots(int /*signal*/) {
    pthread_mutex_lock(&_instance._configLock);
    try {
        if (_instance._dumpEnabled)
            _instance._dumpSnapshots();
    } catch (...) {
        SLogger::err("Uncaught exception while dumping snapshots");
    }
    pthread_mutex_unlock(&_instance._configLock);
}

void SignalMgr::_dumpSnapshots() {
    if (!_pProvider)
        return;
    SnapshotRing* ring = _pProvider->getAllSnapshots();
    if (!ring)
        return;
    DumpDir tree = DumpDir::open(_dir).sub("tolmstats");
    if (tree.valid())
        for (Snapshot* s : *ring)
            _dumpSnapshot(tree, s);
    delete ring;
}

void SignalMgr::_dumpSnapshot(const DumpDir& tree, Snapshot* snapshot) {
    DumpDir dir = tree.sub(stampName(snapshot->timestamp).c_str());
    if (!dir.valid())
        return;
    if (_dumpAsXml)
        dumpXml(dir, snapshot, _skipZeroAttrs);
    else
        dumpBinary(dir, snapshot);
}

void SignalMgr::handleSyncSigs(int signal, siginfo_t* info, void* /*context*/) {
    sig_signo = signal;
    sig_sigerrno = info->si_errno;
    sig_code = info->si_code;
    sig_addr = info->si_addr;
    if (chdir("/core") != 0) {
        // Nowhere better to put the core: it goes to the working directory.
    }
    abort();
}
