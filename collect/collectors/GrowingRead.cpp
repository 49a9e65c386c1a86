#include "GrowingRead.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace {

// Moves the first `keep` bytes of buf into a new buffer of `newSize` bytes.
void reallocate(char*& buf, int32_t& size, int32_t newSize, int32_t keep) {
    char* fresh = new char[newSize];
    std::memcpy(fresh, buf, static_cast<size_t>(keep));
    delete[] buf;
    buf = fresh;
    size = newSize;
}

}  // namespace

int32_t readGrowing(const char* path, char*& buf, int32_t& size, int32_t initialSize, bool* cut,
                    int32_t ceiling) {
    *cut = false;
    int fd = ::open(path, O_RDONLY);
    if (fd < 0)
        return fd;
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
        if (n < size)
            break;
        if (pending != nullptr) {
            std::memcpy(pending, buf, static_cast<size_t>(size));
            delete[] buf;
            buf = pending;
            size = newSize;
            pending = nullptr;
        }
        if (newSize > ceiling / 2) {
            // No more growth: whether anything is left unread is all that
            // matters now.
            char probe;
            *cut = ::read(fd, &probe, 1) > 0;
            break;
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
    if (total >= 0 && size > initialSize && total <= size / 4) {
        int32_t target = initialSize;
        while (target <= total)
            target *= 2;
        reallocate(buf, size, target, total);
    }
    return total;
}
