#include "TlObj.h"

#include <cstdio>

#include "Check.h"
#include "TlConnection.h"

namespace {

std::string buildPath(const TlObj* parent, const char* name) {
    std::string path;
    if (parent != nullptr) {
        path = parent->getPath();
        if (path.size() != 1)
            path += "/";
        path += name;
    } else {
        path = name;
        if (path.empty() || path[0] != '/')
            path = "/" + path;
    }
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

}  // namespace

TlObj::TlObj(TlConnection* conn, const TlObj* parent, const char* name, const tolm_fid_t& fid,
             const tolm_attr_t& attr)
    : _pconn(conn), _fid(fid), _attr(attr), _path(buildPath(parent, name)) {
    _pconn->addRef();
}

TlObj::TlObj(const TlObj& other)
    : _pconn(other._pconn), _fid(other._fid), _attr(other._attr), _path(other._path) {
    _pconn->addRef();
}

TlObj& TlObj::operator=(const TlObj& other) {
    if (this == &other)
        return *this;
    other._pconn->addRef();
    _pconn->release();
    _pconn = other._pconn;
    _fid = other._fid;
    _attr = other._attr;
    _path = other._path;
    return *this;
}

TlObj::~TlObj() {
    _pconn->release();
}

uint32_t TlObj::updateStats() {
    tolm_attr_t attr;
    uint32_t st = _pconn->stat(_fid, &attr);
    if (st == 0)
        _attr = attr;
    return st;
}

void TlObj::addRef() {
    _refs.add();
}

void TlObj::release() {
    if (_refs.drop() == 0)
        delete this;
}

void TlObj::dumpAttrs(const tolm_attr_t& a) {
    printf("Uniquifier: %u\n", a.uniquifier);
    printf("File Type: %u\n", a.filetype);
    printf("Links: %u\n", a.links);
    printf("High Attrs: %u\n", a.high_attrs);
    printf("Low Attrs: %u\n", a.low_attrs);
    printf("Mode: %u\n", a.mode);
    printf("UID: %u\n", a.uid);
    printf("GID: %u\n", a.gid);
    printf("Length: %u\n", static_cast<uint32_t>(a.length));
    printf("Atime: %u\n", a.atime);
    printf("Ctime: %u.%u\n", a.ctime_secs, a.ctime_nsecs);
    printf("Mtime: %u.%u\n", a.mtime_secs, a.mtime_nsecs);
    printf("blocks: %u\n", static_cast<uint32_t>(a.blocks));
    printf("domainId: %u\n", a.domainId);
}
