#include "GrowingRead.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

int32_t readGrowing(const char* path, char*& buf, int32_t& size) {
    int fd = ::open(path, O_RDONLY);
    if (fd < 0) return fd;
    int32_t total = 0;
    int32_t newSize = size;
    char* pending = nullptr;
    char* pos = buf;
    for (;;) {
        // Each read asks for the current capacity: once the buffer has grown,
        // that is exactly the free room behind the data read so far.
        ssize_t n = ::read(fd, pos, static_cast<size_t>(size));
        if (n > 0)
            total += static_cast<int32_t>(n);
        else if (n < 0)
            total = static_cast<int32_t>(n);
        if (n < size) break;
        if (pending != nullptr) {
            std::memcpy(pending, buf, static_cast<size_t>(size));
            delete[] buf;
            buf = pending;
            size = newSize;
        }
        newSize *= 2;
        pending = new char[newSize];
        pos = pending + size;
    }
    ::close(fd);
    if (pending != nullptr) {
        std::memcpy(pending, buf, static_cast<size_t>(size));
        delete[] buf;
        buf = pending;
        size = newSize;
    }
    return total;
}
