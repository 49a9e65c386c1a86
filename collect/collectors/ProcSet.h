#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>

#include "ProcInfo.h"
#include "TokenSetParser.h"

// Every process of the system at one moment, read from the status files under
// the proc root ("/proc" in the daemon) when the set is built. By name, the
// last process of that name in the directory listing is kept.
class ProcSet {
public:
    explicit ProcSet(TokenSetParser& parser, const std::string& root = "/proc");
    ~ProcSet();
    ProcSet(const ProcSet&) = delete;
    ProcSet& operator=(const ProcSet&) = delete;

    // The process stored under `name`, or null.
    const _ProcInfo* get(const std::string& name) const;
    // The process with id `pid`, or null.
    const _ProcInfo* byPid(uint32_t pid) const;
    size_t size() const { return _pidmap.size(); }

private:
    std::unordered_map<uint32_t, _ProcInfo*> _pidmap;
    std::map<std::string, _ProcInfo*> _procmap;
};
