// Feeds arbitrary bytes, as one N-blade statistics file, to the collector of
// the file the first byte selects (the thirteen line tables and bcptime): the
// growing read and the line parser must take any content without a crash or
// a read past the data.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "NbladeStatsCollector.h"

namespace {

std::string g_dir;
NbladeStatsCollector* g_collector = nullptr;

NbladeFileStatsCollector* pick(uint8_t selector) {
    NbladeFileStatsCollector* const files[] = {
        &g_collector->bcp,           &g_collector->bcptime,    &g_collector->exports,
        &g_collector->leaseConn,     &g_collector->mountCache, &g_collector->mountpointCache,
        &g_collector->packet,        &g_collector->ra,         &g_collector->replayCache,
        &g_collector->rootCache,     &g_collector->scp,        &g_collector->sidCache,
        &g_collector->tolmXmitDescs, &g_collector->transport,
    };
    return files[selector % (sizeof files / sizeof files[0])];
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/tolmfuzz.XXXXXX";
    g_dir = mkdtemp(pattern);
    g_collector = new NbladeStatsCollector(g_dir + "/", "127.0.0.1");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    NbladeFileStatsCollector* c = pick(data[0]);
    int fd = open(c->filename().c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return 0;
    ssize_t written = write(fd, data + 1, size - 1);
    close(fd);
    if (written != static_cast<ssize_t>(size - 1))
        return 0;
    nblade_data_t record = {};
    c->populate(&record);
    return 0;
}
