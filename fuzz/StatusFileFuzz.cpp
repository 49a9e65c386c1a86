// Feeds arbitrary bytes, as a process status file, to the status-file
// tokenizer and to the process scan that reads its keys.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "ProcSet.h"
#include "TokenSetParser.h"

namespace {
std::string g_root;
std::string g_status;
}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    char pattern[] = "/tmp/tolmfuzz.XXXXXX";
    g_root = mkdtemp(pattern);
    mkdir((g_root + "/42").c_str(), 0755);
    g_status = g_root + "/42/status";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int fd = open(g_status.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return 0;
    ssize_t written = write(fd, data, size);
    close(fd);
    if (written != static_cast<ssize_t>(size))
        return 0;
    TokenSetParser parser;
    std::unique_ptr<TokenSet> set(parser.parse(g_status.c_str()));
    ProcSet procs(parser, g_root);
    return 0;
}
