// Interposes the C library's open calls in a process started with
// LD_PRELOAD=libtolmsimpreload.so and TOLM_SIM_ROOT=DIR: an open of a file
// under "/proc/tolm/stream.d/" opens the same name under DIR/stream.d/
// instead. Every other call goes to the C library unchanged; without
// TOLM_SIM_ROOT nothing is redirected.

#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <sys/types.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr char kStreamDir[] = "/proc/tolm/stream.d/";

// The redirected path of `path` in `out`, or `path` itself.
const char* redirect(const char* path, char* out, size_t room) {
    const char* root = getenv("TOLM_SIM_ROOT");
    if (root == nullptr || path == nullptr) return path;
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
    return real(redirect(path, buf, sizeof(buf)), flags, mode);
}

int open64(const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    char buf[4096];
    static auto real = next<int (*)(const char*, int, ...)>("open64");
    return real(redirect(path, buf, sizeof(buf)), flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...) {
    va_list ap;
    va_start(ap, flags);
    mode_t mode = modeArg(flags, ap);
    va_end(ap);
    char buf[4096];
    static auto real = next<int (*)(int, const char*, int, ...)>("openat");
    return real(dirfd, redirect(path, buf, sizeof(buf)), flags, mode);
}

}  // extern "C"
