#include "FLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

#include "SLogger.h"

FLock::FLock(const char* name, const char* dir) : _locked(false), _fd(-1), _path(dir) {
    _path += name;
    _fd = open(_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (_fd < 0) {
        SLogger::err("failed to open file: %s", _path.c_str());
        return;
    }
    if (flock(_fd, LOCK_EX | LOCK_NB) != 0) {
        SLogger::err("%s already running", name);
        exit(1);
    }
    _locked = true;
}

FLock::~FLock() {
    if (_locked) {
        unlink(_path.c_str());
        flock(_fd, LOCK_UN);
        close(_fd);
    } else if (_fd >= 0) {
        close(_fd);
    }
}
