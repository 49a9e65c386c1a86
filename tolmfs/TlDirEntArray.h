#pragma once

#include <cstddef>
#include <vector>

#include "TlDirEnt.h"

// The names of one directory, as a listing delivered them. The array owns its
// entries; `release` hands one out and empties its slot.
class TlDirEntArray {
  public:
    explicit TlDirEntArray(const tolm_fid_t& fid) : _fid(fid) {}
    ~TlDirEntArray();
    TlDirEntArray(const TlDirEntArray&) = delete;
    TlDirEntArray& operator=(const TlDirEntArray&) = delete;

    size_t length() const { return _vec.size(); }
    // Null for a released slot.
    TlDirEnt* operator[](size_t i) const { return _vec[i]; }
    void add(TlDirEnt* entry) { _vec.push_back(entry); }
    TlDirEnt* release(size_t i);
    void clear();
    const tolm_fid_t& getFid() const { return _fid; }

  private:
    tolm_fid_t _fid;
    std::vector<TlDirEnt*> _vec;
};
