// Interposes the C library's open, ioctl and close calls in a process started
// with LD_PRELOAD=libtolmsimpreload.so and TOLM_SIM_ROOT=DIR: an open of a file
// under "/proc/tolm/stream.d/" opens the same name under DIR/stream.d/
// instead, and the D-blade control file "/proc/tolmdblade" opens the
// simulator's block file DIR/tolmdblade, whose statistics request is then
// answered from that file. Every other call goes to the C library unchanged;
// without TOLM_SIM_ROOT nothing is redirected.

#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/types.h>

#include <cstdlib>
#include <cstring>

#include "SimDbladeBlock.h"

namespace {

constexpr char kStreamDir[] = "/proc/tolm/stream.d/";
constexpr char kDbladeDevice[] = "/proc/tolmdblade";
constexpr char kDbladeBlock[] = "/tolmdblade";

// Descriptors that stand for the D-blade control file.
constexpr int kMaxFd = 4096;
bool g_dbladeFd[kMaxFd];

bool isDblade(const char* path) {
    return getenv("TOLM_SIM_ROOT") != nullptr && path != nullptr && strcmp(path, kDbladeDevice) == 0;
}

// The simulator's block file in `out`.
bool blockPath(char* out, size_t room) {
    const char* root = getenv("TOLM_SIM_ROOT");
    if (root == nullptr || strlen(root) + sizeof(kDbladeBlock) > room) return false;
    strcpy(out, root);
    strcat(out, kDbladeBlock);
    return true;
}

// Marks `fd` as the control file when it was opened as one.
int opened(int fd, bool dblade) {
    if (fd >= 0 && fd < kMaxFd) g_dbladeFd[fd] = dblade;
    return fd;
}

// The redirected path of `path` in `out`, or `path` itself.
const char* redirect(const char* path, char* out, size_t room) {
    const char* root = getenv("TOLM_SIM_ROOT");
    if (root == nullptr || path == nullptr) return path;
    if (strcmp(path, kDbladeDevice) == 0) return blockPath(out, room) ? out : path;
    size_t prefix = sizeof(kStreamDir) - 1;
    if (strncmp(path, kStreamDir, prefix) != 0) return path;
    size_t n = strlen(root);
    if (n + strlen("/stream.d/") + strlen(path + prefix) + 1 > room) return path;
    strcpy(out, root);
    strcat(out, "/stream.d/");
    strcat(out, path + prefix);
    return out;
}

template <typename Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

mode_t modeArg(int flags, va_list ap) {
    return (flags & (O_CREAT | O_TMPFILE)) ? static_cast<mode_t>(va_arg(ap, int)) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    char buf[4096];
    static auto real = next<int (*)(const char*, int, ...)>("open");
    return opened(real(redirect(path, buf, sizeof(buf)), flags, mode), isDblade(path));
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    char buf[4096];
    static auto real = next<int (*)(const char*, int, ...)>("open64");
    return opened(real(redirect(path, buf, sizeof(buf)), flags, mode), isDblade(path));
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    char buf[4096];
    static auto real = next<int (*)(int, const char*, int, ...)>("openat");
    return opened(real(dirfd, redirect(path, buf, sizeof(buf)), flags, mode), isDblade(path));
}

int ioctl(int fd, unsigned long request, ...) {
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    if (fd >= 0 && fd < kMaxFd && g_dbladeFd[fd]) {
        char path[4096];
        if (!blockPath(path, sizeof(path))) return -1;
        return SimDbladeBlock::serveIoctl(path, request, arg);
    }
    static auto real = next<int (*)(int, unsigned long, ...)>("ioctl");
    return real(fd, request, arg);
}

int close(int fd) {
    if (fd >= 0 && fd < kMaxFd) g_dbladeFd[fd] = false;
    static auto real = next<int (*)(int)>("close");
    return real(fd);
}

}  // extern "C"
