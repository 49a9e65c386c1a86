#include "DumpDir.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "SLogger.h"

namespace {

void logRefused(const std::string& path, const char* why) {
    SLogger::err("Refusing dump path '%s': %s", path.c_str(), why);
}

void logFailure(const char* what, const std::string& path, int error) {
    SLogger::err("Failed to %s '%s': %s (%d)", what, path.c_str(), strerror(error), error);
}

}  // namespace

DumpDir DumpDir::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        logFailure("open dump directory", path, errno);
    return DumpDir(fd, path);
}

DumpDir DumpDir::sub(const char* name) const {
    std::string path = _path + "/" + name;
    if (!valid())
        return DumpDir(-1, path);
    if (mkdirat(_fd, name, 0755) != 0 && errno != EEXIST) {
        logFailure("create (signal) dump directory", path, errno);
        return DumpDir(-1, path);
    }
    int fd = openat(_fd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        struct stat st;
        if (fstatat(_fd, name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode))
            logRefused(path, "a symbolic link");
        else if (e == ENOTDIR)
            logRefused(path, "not a directory");
        else
            logFailure("open dump directory", path, e);
        return DumpDir(-1, path);
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || st.st_uid != geteuid()) {
        logRefused(path, "not owned by the daemon's user");
        close(fd);
        return DumpDir(-1, path);
    }
    return DumpDir(fd, path);
}

DumpDir::DumpDir(DumpDir&& other) noexcept : _fd(other._fd), _path(std::move(other._path)) {
    other._fd = -1;
}

DumpDir& DumpDir::operator=(DumpDir&& other) noexcept {
    if (this != &other) {
        if (_fd >= 0)
            close(_fd);
        _fd = other._fd;
        _path = std::move(other._path);
        other._fd = -1;
    }
    return *this;
}

DumpDir::~DumpDir() {
    if (_fd >= 0)
        close(_fd);
}

int DumpDir::create(const char* name) const {
    if (!valid())
        return -1;
    std::string path = _path + "/" + name;
    if (unlinkat(_fd, name, 0) != 0 && errno != ENOENT) {
        logFailure("replace dump file", path, errno);
        return -1;
    }
    int fd = openat(_fd, name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0)
        logFailure("create dump file", path, errno);
    return fd;
}

bool DumpDir::finish(const char* name, int fd, int error) const {
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0)
        return true;
    logFailure("write dump file", _path + "/" + name, error);
    unlinkat(_fd, name, 0);
    return false;
}

bool DumpDir::writeFile(const char* name, const void* data, size_t size) const {
    int fd = create(name);
    if (fd < 0)
        return false;
    const char* p = static_cast<const char*>(data);
    int error = 0;
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = n < 0 ? errno : ENOSPC;
            break;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return finish(name, fd, error);
}
