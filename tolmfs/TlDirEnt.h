#pragma once

#include <string>

#include "TolmFsTypes.h"

// One name of a directory listing and the object it names.
struct TlDirEnt {
    TlDirEnt(const std::string& name, const tolm_fid_t& fid) : _name(name), _fid(fid) {}
    std::string _name;
    tolm_fid_t _fid;
};
