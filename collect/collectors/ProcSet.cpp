#include "ProcSet.h"

#include <dirent.h>

#include <cstdlib>
#include <memory>

#include "Strtoul32.h"

namespace {

// The first value under `key` in base 10, or 0 when the key or its value is
// absent.
uint32_t firstNumber(const TokenSet& set, const char* key) {
    const std::vector<std::string>* v = set.get(key);
    if (v == nullptr || v->empty()) return 0;
    return strtoul32((*v)[0].c_str(), nullptr, 10);
}

// The status lines of the seven memory figures.
struct Figure {
    const char* key;
    uint32_t proc_stats_t::*field;
};
const Figure kFigures[] = {
    {"VmSize:", &proc_stats_t::vmsize}, {"VmLck:", &proc_stats_t::vmlock},
    {"VmRSS:", &proc_stats_t::vmrss},   {"VmData:", &proc_stats_t::vmdata},
    {"VmStk:", &proc_stats_t::vmstack}, {"VmExe:", &proc_stats_t::vmexe},
    {"VmLib:", &proc_stats_t::vmlib},
};

}  // namespace

ProcSet::ProcSet(TokenSetParser& parser, const std::string& root) {
    DIR* dir = opendir(root.c_str());
    if (dir == nullptr) return;
    while (dirent* e = readdir(dir)) {
        char* end = nullptr;
        uint32_t pid = strtoul32(e->d_name, &end, 10);
        if (end == e->d_name || *end != '\0') continue;
        std::string path = root + "/" + e->d_name + "/status";
        std::unique_ptr<TokenSet> status(parser.parse(path.c_str()));
        if (!status) continue;
        const std::vector<std::string>* name = status->get("Name:");
        if (name == nullptr || name->empty()) continue;
        _ProcInfo* info = new _ProcInfo();
        info->name = (*name)[0];
        info->pid = pid;
        _pidmap[info->pid] = info;
        _procmap[info->name] = info;
        info->ppid = firstNumber(*status, "PPid:");
        for (const Figure& f : kFigures) info->stats.*f.field = firstNumber(*status, f.key);
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
