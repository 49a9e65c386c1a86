#pragma once

#include <cstdint>

#include "TolmObj.h"

// The create modes a file may be made with.
constexpr uint32_t TOLM_CREATE_MODES[] = {0x10000, 0x20000, 0x40000, 0x80000, 0x100000};
// The plain create mode (the persistence code makes its files with it).
constexpr uint32_t TOLM_CREATE_DEFAULT = 0x10000;
// Bytes a read or write request carries at most.
constexpr uint32_t TOLM_MAX_IO = 8192;

// Files: create, read and write (and the object operations of TolmObj).
class TolmFile : public TolmObj {
  public:
    explicit TolmFile(TolmVldb* vldb) : TolmObj(vldb) {}

    // Makes `name` in `dir` with the given attributes (their mode's file-type
    // bits give the object's type); `flag` adds TOLM_SPEC_EXCLUSIVE to the
    // specifier. TOLM_ERR_EMPTY_FILENAME for an empty name,
    // TOLM_ERR_CREATE_MODE for a mode not in TOLM_CREATE_MODES.
    uint32_t create(const tolm_fid_t* dir, const char* name, const tolm_set_attr_t* set,
                    uint32_t createMode, tolm_fid_t* fid, tolm_attr_t* attr, uint32_t flag);
    // Reads `length` bytes from `offset` in pieces of at most 8192 bytes.
    // Stops at the end of the file with TOLM_ERR_END_OF_FILE and the bytes
    // read so far.
    // The attributes are those of the last reply.
    uint32_t read(const tolm_fid_t* fid, uint64_t offset, uint64_t length, uint64_t readAhead,
                  uint64_t* bytesRead, void* buffer, tolm_attr_t* attr);
    // Writes `length` bytes at `offset` in pieces of at most 8192 bytes.
    uint32_t write(const tolm_fid_t* fid, uint64_t offset, uint64_t length, const void* buffer,
                   tolm_attr_t* attr);
};
