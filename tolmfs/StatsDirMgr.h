#pragma once

#include <cstdint>
#include <string>

class SnapDir;
class TlConnection;
class TlDirectory;

// The statistics volume side of persistence: finds the statistics VFS, and
// in it the host directory (named after this node) and a new timestamp
// directory for each persisted snapshot, removing the oldest timestamp
// directories so that at most `maxSize` remain (-1: none are removed).
class StatsDirMgr {
  public:
    // Connects to the cluster file system through the location services of
    // this host.
    StatsDirMgr(const std::string& vfsname, int32_t maxSize);
    ~StatsDirMgr();
    StatsDirMgr(const StatsDirMgr&) = delete;
    StatsDirMgr& operator=(const StatsDirMgr&) = delete;

    // The timestamp directory for the snapshot about to be persisted (named
    // after the local time now, reused when it exists), after pruning; or
    // null, each failure logged. The caller deletes it.
    SnapDir* getSnapDir();
    // Removes the oldest timestamp directories of the host directory.
    void prune(TlDirectory* host);
    // Prints the host's tree to standard output (a diagnostic).
    void dump();

    uint32_t vfsId() const { return _vfsId; }
    // Rf calls made through the connection so far (benchmarks count them).
    uint32_t callsMade() const;
    const std::string& hostname() const { return _hostname; }

  private:
    void list(TlDirectory* dir, int level);

    TlConnection* _pConn;
    uint32_t _vfsId;
    std::string _vfsname;
    int32_t _maxSize;
    std::string _hostname;
};
