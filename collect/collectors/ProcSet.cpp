#include "ProcSet.h"

#include <dirent.h>

#include <cstdlib>
#include <memory>

#include "Strtoul32.h"

namespace {

// The status lines read: the name, the parent and the seven memory figures.
enum { kName, kPPid, kFirstFigure };
const char* const kKeys[] = {"Name:", "PPid:", "VmSize:", "VmLck:", "VmRSS:",
                             "VmData:", "VmStk:", "VmExe:", "VmLib:"};
constexpr size_t kKeyCount = sizeof kKeys / sizeof kKeys[0];
uint32_t proc_stats_t::*const kFigures[] = {
    &proc_stats_t::vmsize, &proc_stats_t::vmlock, &proc_stats_t::vmrss, &proc_stats_t::vmdata,
    &proc_stats_t::vmstack, &proc_stats_t::vmexe, &proc_stats_t::vmlib,
};

// A key's first value in base 10, or 0 when the key or its value is absent.
// The token ends at a delimiter, where the conversion stops as well.
uint32_t firstNumber(const TokenSetParser::FirstValue& v) {
    if (v.token == nullptr) return 0;
    return strtoul32(v.token, nullptr, 10);
}

}  // namespace

ProcSet::ProcSet(TokenSetParser& parser, const std::string& root) {
    DIR* dir = opendir(root.c_str());
    if (dir == nullptr) return;
    // One path buffer for every status file: ROOT/PID/status.
    std::string path = root + "/";
    const size_t rootLength = path.size();
    TokenSetParser::FirstValue values[kKeyCount];
    while (dirent* e = readdir(dir)) {
        char* end = nullptr;
        uint32_t pid = strtoul32(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0') continue;
        path.resize(rootLength);
        path.append(e->d_name).append("/status");
        if (!parser.scan(path.c_str(), kKeys, kKeyCount, values)) continue;
        if (values[kName].token == nullptr) continue;
        _ProcInfo* info = new _ProcInfo();
        info->name.assign(values[kName].token, values[kName].length);
        info->pid = pid;
        _pidmap[info->pid] = info;
        _procmap[info->name] = info;
        info->ppid = firstNumber(values[kPPid]);
        for (size_t f = 0; f < kKeyCount - kFirstFigure; f++)
            info->stats.*kFigures[f] = firstNumber(values[kFirstFigure + f]);
    }
    closedir(dir);
}

ProcSet::~ProcSet() {
    for (auto& e : _pidmap) delete e.second;
}

const _ProcInfo* ProcSet::get(const std::string& name) const {
    auto it = _procmap.find(name);
    return it == _procmap.end() ? nullptr : it->second;
}

const _ProcInfo* ProcSet::byPid(uint32_t pid) const {
    auto it = _pidmap.find(pid);
    return it == _pidmap.end() ? nullptr : it->second;
}
