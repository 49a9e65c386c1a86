#pragma once

#include <cstdint>
#include <string>

class SnapDir;

// Owns the statistics volume side of persistence: finds the statistics VFS
// and (with the cluster file objects) the host and timestamp directories.
class StatsDirMgr {
public:
    StatsDirMgr(const std::string& vfsname, int32_t maxSize);

    // The timestamp directory for the snapshot about to be persisted, or null
    // (each failure logged). This build has no cluster file objects yet: once
    // the VFS id is known, every attempt ends with one info line and null.
    SnapDir* getSnapDir();

    uint32_t vfsId() const { return _vfsId; }
    const std::string& hostname() const { return _hostname; }

private:
    uint32_t _vfsId;
    std::string _vfsname;
    int32_t _maxSize;
    std::string _hostname;
};
