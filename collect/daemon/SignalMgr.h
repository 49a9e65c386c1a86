#pragma once

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <string>

#include "StampName.h"

class Snapshot;
class SnapshotProvider;
class DumpDir;

// The daemon's signals. SIGUSR1, SIGTERM and SIGINT are blocked in every
// thread (blockServedSignals, before any thread starts) and served by one
// signal thread: SIGUSR1 dumps the whole history under the dump directory,
// SIGTERM and SIGINT call the stop handler. SIGSEGV and SIGBUS record the
// fault and abort into "/core".
class SignalMgr {
  public:
    SignalMgr();
    ~SignalMgr();

    // Blocks the served signals in the calling thread and the threads it starts.
    static void blockServedSignals();
    // `dir` null makes SIGUSR1 do nothing.
    static void initialize(SnapshotProvider* provider, const char* dir, bool dumpAsXml,
                           bool skipZeroAttrs);
    // Called on the signal thread for SIGTERM and SIGINT.
    static void setStopHandler(void (*handler)(void*), void* arg);
    // Ends the signal thread and waits for it: a dump or stop handler in
    // progress finishes first; signals arriving afterwards stay blocked and
    // are never served. Called by main before it destroys the provider and
    // the stop handler's argument. Not from the signal thread itself.
    static void stop();

    static void dumpSnapshots(int signal);
    static void handleSyncSigs(int signal, siginfo_t* info, void* context);

    void _initialize(SnapshotProvider* provider, const char* dir, bool dumpAsXml,
                     bool skipZeroAttrs);
    // Sets what a dump writes and from where, without touching any signal.
    void configure(SnapshotProvider* provider, const char* dir, bool dumpAsXml, bool skipZeroAttrs);
    void _dumpSnapshots();
    void _dumpSnapshot(const DumpDir& tree, Snapshot* snapshot);

    static SignalMgr _instance;
    static volatile int sig_signo;
    static volatile int sig_sigerrno;
    static volatile int32_t sig_code;
    static void* volatile sig_addr;

  private:
    static void* signalThread(void*);
    static bool _threadStarted;
    static pthread_t _thread;
    static std::atomic<bool> _stopping;

    // Guards what a dump reads (_dir, _dumpEnabled, _dumpAsXml,
    // _skipZeroAttrs, _pProvider): configure takes it, the signal thread
    // holds it through a dump.
    pthread_mutex_t _configLock = PTHREAD_MUTEX_INITIALIZER;
    std::string _dir;
    bool _initialized;
    bool _dumpEnabled;
    bool _dumpAsXml;
    bool _skipZeroAttrs;
    struct sigaction _oldsa;
    SnapshotProvider* _pProvider;
    void (*_stopHandler)(void*);
    void* _stopArg;
};

// Write the snapshot's five records into the snapshot directory.
void dumpBinary(const DumpDir& dir, Snapshot* snapshot);
void dumpXml(const DumpDir& dir, Snapshot* snapshot, bool skipZero);
