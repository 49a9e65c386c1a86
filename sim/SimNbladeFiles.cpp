#include "SimNbladeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <vector>

#include "DoubleColLineDesc.h"
#include "NbladeStatsCollector.h"

namespace {

bool replaceFile(const std::string& path, const std::string& text) {
    std::string aside = path + ".new";
    int fd = open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = close(fd) == 0 && ok;
    return ok && rename(aside.c_str(), path.c_str()) == 0;
}

}  // namespace

bool SimNbladeFiles::write(const std::string& dir, uint64_t tick) {
    mkdir(dir.c_str(), 0755);
    // The line names are the ones the daemon's collectors know; the kernel
    // publishes exactly those.
    static const std::unique_ptr<NbladeStatsCollector> names(new NbladeStatsCollector("/"));
    NbladeFileStatsCollector* const files[] = {
        &names->bcp,         &names->exports,   &names->leaseConn,     &names->mountCache,
        &names->mountpointCache, &names->packet, &names->ra,           &names->replayCache,
        &names->rootCache,   &names->scp,       &names->sidCache,      &names->tolmXmitDescs,
        &names->transport,
    };
    bool ok = true;
    uint32_t fileIndex = 0;
    for (NbladeFileStatsCollector* f : files) {
        std::string text;
        uint32_t line = 0;
        for (const std::string& name : f->lineNames()) {
            uint64_t v = lineValue(fileIndex, line, tick);
            text += name + (line % 2 ? "\t" : " ") + std::to_string(v);
            if (dynamic_cast<DoubleColLineDesc<unsigned int>*>(f->getLineDesc(name)))
                text += " " + std::to_string(v + 100);
            text += "\n";
            line++;
        }
        // filename() is "/" followed by the file's own name.
        ok = replaceFile(dir + f->filename(), text) && ok;
        fileIndex++;
    }
    std::string histogram;
    for (uint32_t i = 0; i < 60; i++)
        histogram += std::to_string(lineValue(fileIndex, i, tick)) + (i % 10 == 9 ? "\n" : " ");
    ok = replaceFile(dir + names->bcptime.filename(), histogram) && ok;
    return ok;
}
