#include "SimDbladeBlock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "DbladeIoctl.h"

bool SimDbladeBlock::write(const std::string& path, uint64_t tick) {
    uint32_t words[DBLADE_MAIN_STATS_SIZE / 4];
    for (uint32_t w = 0; w < DBLADE_MAIN_STATS_SIZE / 4; w++) words[w] = wordValue(w, tick);
    // The CPUs' idle percentages.
    words[kIdleWord0] = static_cast<uint32_t>(60 + tick % 30);
    words[kIdleWord0 + 1] = static_cast<uint32_t>(75 + tick % 20);
    std::string aside = path + ".new";
    int fd = open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = ::write(fd, words, sizeof(words)) == static_cast<ssize_t>(sizeof(words));
    ok = close(fd) == 0 && ok;
    return ok && rename(aside.c_str(), path.c_str()) == 0;
}

int SimDbladeBlock::serveIoctl(const char* blockPath, unsigned long request, void* arg) {
    const _dbladeIoctlArg* outer = static_cast<const _dbladeIoctlArg*>(arg);
    if (request != DBLADE_STATS_IOCTL || outer == nullptr || outer->selector != DBLADE_STATS_AREA ||
        outer->data == nullptr) {
        errno = EINVAL;
        return -1;
    }
    const _dbladeIoctlArg* inner = static_cast<const _dbladeIoctlArg*>(outer->data);
    if (inner->selector != DBLADE_MAIN_STATS_BLOCK || inner->data == nullptr) {
        errno = EINVAL;
        return -1;
    }
    int fd = open(blockPath, O_RDONLY);
    if (fd < 0) {
        errno = EIO;
        return -1;
    }
    unsigned char block[DBLADE_MAIN_STATS_SIZE];
    ssize_t n = pread(fd, block, sizeof(block), 0);
    close(fd);
    if (n != static_cast<ssize_t>(sizeof(block))) {
        errno = EIO;
        return -1;
    }
    memcpy(inner->data, block, sizeof(block));
    return 0;
}
