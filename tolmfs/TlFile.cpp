#include "TlFile.h"

#include "TlConnection.h"
#include "TolmErr.h"

uint32_t TlFile::read(void* buffer, uint32_t length, uint32_t* bytesRead) {
    tolm_attr_t attr;
    uint32_t st = _pconn->readFile(_fid, buffer, _offset, length, bytesRead, &attr);
    if (st == 0 || st == TOLM_ERR_END_OF_FILE) {
        _offset += *bytesRead;
        _attr = attr;
    }
    return st;
}

uint32_t TlFile::write(const void* buffer, uint32_t length) {
    tolm_attr_t attr;
    uint32_t st = _pconn->writeFile(_fid, buffer, _offset, length, &attr);
    if (st == 0) {
        _offset += length;
        _attr = attr;
    }
    return st;
}

uint32_t TlFile::append(const void* buffer, uint32_t length) {
    uint32_t st = updateStats();
    if (st != 0)
        return st;
    _offset = _attr.length;
    return write(buffer, length);
}

uint32_t TlFile::truncate(uint64_t length) {
    uint32_t st = _pconn->truncate(_fid, length);
    if (st == 0)
        _offset = length;
    return st;
}
