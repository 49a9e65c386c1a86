#pragma once

#include <cstdint>
#include <string>

#include "TlRefCount.h"
#include "TolmFsTypes.h"

class TlConnection;

// An object of the cluster file system as the persistence code holds it: its
// connection (one reference held), fid, last known attributes and absolute
// path inside the VFS. Counted: it starts at 1 for its creator and destroys
// itself when the last reference is released (from any thread).
class TlObj {
  public:
    // The path is the parent's path, "/" (unless that path is one character
    // long) and the name; without a parent, the name with a leading "/".
    // Trailing "/" characters are removed, except a lone first one.
    TlObj(TlConnection* conn, const TlObj* parent, const char* name, const tolm_fid_t& fid,
          const tolm_attr_t& attr);
    TlObj(const TlObj& other);
    TlObj& operator=(const TlObj& other);

    const tolm_fid_t& getFid() const { return _fid; }
    const tolm_attr_t& getAttrs() const { return _attr; }
    const std::string& getPath() const { return _path; }
    TlConnection* connection() const { return _pconn; }

    // Fetches the attributes; on success they replace the kept ones.
    uint32_t updateStats();

    void addRef();
    // Fatal when the count is already 0.
    void release();

    // Prints the attributes, one line each, to standard output.
    static void dumpAttrs(const tolm_attr_t& attr);

  protected:
    virtual ~TlObj();

    TlConnection* _pconn;
    tolm_fid_t _fid;
    tolm_attr_t _attr;
    std::string _path;
    TlRefCount _refs;
};
