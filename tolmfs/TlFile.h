#pragma once

#include <cstdint>

#include "TlObj.h"

// A file of the cluster file system with a current offset (0 at first).
class TlFile : public TlObj {
  public:
    TlFile(TlConnection* conn, const TlObj* parent, const char* name, const tolm_fid_t& fid,
           const tolm_attr_t& attr, bool created = false)
        : TlObj(conn, parent, name, fid, attr), _offset(0), _created(created) {}

    // Reads at the offset, which grows by the bytes read; TOLM_ERR_END_OF_FILE
    // at the end of the file, with the bytes read so far.
    uint32_t read(void* buffer, uint32_t length, uint32_t* bytesRead);
    // Writes at the offset, which grows by the length.
    uint32_t write(const void* buffer, uint32_t length);
    // Writes at the end of the file.
    uint32_t append(const void* buffer, uint32_t length);
    // Cuts (or extends) the file; the offset moves to the length.
    uint32_t truncate(uint64_t length);
    void reset() { _offset = 0; }
    uint64_t offset() const { return _offset; }
    // Whether this object's getFile made the file (false: it existed).
    bool wasCreated() const { return _created; }

  private:
    uint64_t _offset;
    bool _created;
};
