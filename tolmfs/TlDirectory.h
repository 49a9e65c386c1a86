#pragma once

#include <cstdint>
#include <string>

#include "TlDirEnt.h"
#include "TlObj.h"

class TlDirEntArray;
class TlFile;

// A directory of the cluster file system. The operations by name work in
// this directory through its connection; on success the directory's kept
// attributes are replaced by those the operation returned.
class TlDirectory : public TlObj {
  public:
    using TlObj::TlObj;

    // The named subdirectory or file, made when missing if `create` is set.
    uint32_t getDirectory(const char* name, bool create, TlDirectory** out);
    uint32_t getFile(const char* name, bool create, TlFile** out);
    // The object of a listing's entry, without asking the D-blade (its
    // attributes are all zero until `updateStats`); always 0.
    uint32_t getDirectory(const TlDirEnt& entry, TlDirectory** out);
    uint32_t getFile(const TlDirEnt& entry, TlFile** out);

    uint32_t remove(const char* name);
    // With `recursive`, as TlConnection::removeDirRecursive (`refused` names
    // a directory it would not enter).
    uint32_t removeDir(const char* name, bool recursive, std::string* refused = nullptr);
    // The whole listing (the caller deletes it), or a status and null.
    uint32_t enumDirectory(TlDirEntArray** out);
};
