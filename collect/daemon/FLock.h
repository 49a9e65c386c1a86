#pragma once

#include <string>

// The lock file that keeps a second instance of the daemon from running: an
// exclusive flock on "/var/lock/subsys/<name>". A file that cannot be opened
// leaves the daemon running unlocked; a lock held elsewhere ends the process.
class FLock {
public:
    explicit FLock(const char* name, const char* dir = "/var/lock/subsys/");
    ~FLock();
    FLock(const FLock&) = delete;
    FLock& operator=(const FLock&) = delete;

    bool locked() const { return _locked; }

private:
    bool _locked;
    int _fd;
    std::string _path;
};
