#include "TlDirectory.h"

#include "Check.h"
#include "TlConnection.h"
#include "TlFile.h"

uint32_t TlDirectory::getDirectory(const char* name, bool create, TlDirectory** out) {
    return _pconn->getDirectory(_fid.vfs, this, name, create, out);
}

uint32_t TlDirectory::getFile(const char* name, bool create, TlFile** out) {
    return _pconn->getFile(this, name, create, out);
}

uint32_t TlDirectory::getDirectory(const TlDirEnt& entry, TlDirectory** out) {
    TOLM_CHECK_TEXT(out, "ppDir");
    *out = new TlDirectory(_pconn, this, entry._name.c_str(), entry._fid, tolm_attr_t{});
    return 0;
}

uint32_t TlDirectory::getFile(const TlDirEnt& entry, TlFile** out) {
    TOLM_CHECK_TEXT(out, "ppFile");
    *out = new TlFile(_pconn, this, entry._name.c_str(), entry._fid, tolm_attr_t{});
    return 0;
}

uint32_t TlDirectory::remove(const char* name) {
    tolm_attr_t attr;
    uint32_t st = _pconn->remove(_fid, name, &attr);
    if (st == 0)
        _attr = attr;
    return st;
}

uint32_t TlDirectory::removeDir(const char* name, bool recursive, std::string* refused) {
    tolm_attr_t attr;
    uint32_t st = recursive ? _pconn->removeDirRecursive(_fid, name, &attr, refused)
                            : _pconn->removeDir(_fid, name, &attr);
    if (st == 0)
        _attr = attr;
    return st;
}

uint32_t TlDirectory::enumDirectory(TlDirEntArray** out) {
    tolm_attr_t attr;
    uint32_t st = _pconn->enumDir(_fid, out, &attr);
    if (st == 0)
        _attr = attr;
    return st;
}
