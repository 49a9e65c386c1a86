#include "SimNbladeFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "SimKernelFiles.h"

namespace {

constexpr uint32_t kHistogramBuckets = 60;
constexpr uint32_t kSecondNumberOffset = 100;

bool replaceFile(const std::string& path, const std::string& text) {
    std::string aside = path + ".new";
    int fd = open(aside.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = close(fd) == 0 && ok;
    return ok && rename(aside.c_str(), path.c_str()) == 0;
}

uint64_t cut(uint64_t v, uint32_t width) {
    return width == 4 ? (v & 0xFFFFFFFFu) : v;
}

}  // namespace

bool SimNbladeFiles::write(const std::string& dir, uint64_t tick) {
    mkdir(dir.c_str(), 0755);
    bool ok = true;
    uint32_t fileIndex = 0;
    for (const SimKernelFile& f : kSimKernelFiles) {
        std::string text;
        for (uint32_t line = 0; line < f.lineCount; line++) {
            const SimKernelLine& l = f.lines[line];
            uint64_t v = lineValue(fileIndex, line, tick);
            text += std::string(l.name) + (line % 2 ? "\t" : " ") + std::to_string(v);
            if (l.numbers == 2)
                text += " " + std::to_string(v + kSecondNumberOffset);
            text += "\n";
        }
        ok = replaceFile(dir + "/" + f.fileName, text) && ok;
        fileIndex++;
    }
    std::string histogram;
    for (uint32_t i = 0; i < kHistogramBuckets; i++)
        histogram += std::to_string(lineValue(fileIndex, i, tick)) + (i % 10 == 9 ? "\n" : " ");
    ok = replaceFile(dir + "/bcptime", histogram) && ok;
    return ok;
}

std::string SimNbladeFiles::expected(uint64_t tick) {
    std::string out;
    uint32_t fileIndex = 0;
    for (const SimKernelFile& f : kSimKernelFiles) {
        for (uint32_t line = 0; line < f.lineCount; line++) {
            const SimKernelLine& l = f.lines[line];
            uint64_t v = lineValue(fileIndex, line, tick);
            out += std::string(f.subRecord) + " " + l.field + " " +
                   std::to_string(cut(v, l.width)) + "\n";
            if (l.secondField != nullptr)
                out += std::string(f.subRecord) + " " + l.secondField + " " +
                       std::to_string(cut(v + kSecondNumberOffset, l.width)) + "\n";
        }
        fileIndex++;
    }
    for (uint32_t i = 0; i < kHistogramBuckets; i++)
        out += "bcp histogram " + std::to_string(i) + " " +
               std::to_string(cut(lineValue(fileIndex, i, tick), 4)) + "\n";
    return out;
}
