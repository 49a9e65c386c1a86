#include "TolmFile.h"

#include <cstring>
#include <vector>

#include "TolmErr.h"
#include "TolmFsReply.h"

namespace {

using P = TolmFsParam;

// The object type a create asks for, from the POSIX file-type bits of the mode.
uint32_t objectType(uint32_t mode) {
    switch ((mode >> 12) & 0xF) {
        case 1:
            return 0x7000000;  // FIFO
        case 2:
            return 0x4000000;  // character device
        case 6:
            return 0x3000000;  // block device
        case 12:
            return 0x6000000;  // socket
        default:
            return 0;
    }
}

}  // namespace

uint32_t TolmFile::create(const tolm_fid_t* dir, const char* name, const tolm_set_attr_t* set,
                          uint32_t createMode, tolm_fid_t* fid, tolm_attr_t* attr, uint32_t flag) {
    if (dir == nullptr || set == nullptr || fid == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (uint32_t st = checkName(name))
        return st;
    bool known = false;
    for (uint32_t m : TOLM_CREATE_MODES)
        known = known || m == createMode;
    if (!known)
        return TOLM_ERR_CREATE_MODE;
    const TolmFsOp& op = TolmFsOps::create;
    TolmFsRequest req =
        request(op, createMode | objectType(set->mode) | (flag ? TOLM_SPEC_EXCLUSIVE : 0));
    req.setFid(P::DirFid, *dir);
    req.setSetAttr(P::SetAttr, *set);
    std::vector<uint8_t> reply;
    uint32_t st = sendNamed(req, dir->vfs, name, &reply);
    if (st == 0)
        st = newObjectReply(op, reply, fid, attr);
    if (st == 0)
        _fid = *fid;
    return st;
}

uint32_t TolmFile::read(const tolm_fid_t* fid, uint64_t offset, uint64_t length, uint64_t readAhead,
                        uint64_t* bytesRead, void* buffer, tolm_attr_t* attr) {
    if (fid == nullptr || bytesRead == nullptr || (buffer == nullptr && length > 0))
        return TOLM_ERR_INVALID_PARAMETERS;
    *bytesRead = 0;
    uint8_t* to = static_cast<uint8_t*>(buffer);
    std::vector<uint8_t> reply;
    while (length > 0) {
        uint32_t piece = length < TOLM_MAX_IO ? static_cast<uint32_t>(length) : TOLM_MAX_IO;
        const TolmFsOp& op = TolmFsOps::read;
        TolmFsRequest req = request(op);
        req.setFid(P::Fid, *fid);
        req.setU64(P::Offset, offset);
        req.set(P::Count, piece);
        req.set(P::ReadAheadBytes, static_cast<uint32_t>(readAhead));
        uint32_t st = send(req, fid->vfs, &reply);
        TolmFsReplyData d;
        if (st == 0)
            st = decodeReply(op, reply, &d);
        if (st != 0)
            return st;
        _attrs = d.attr;
        if (attr != nullptr)
            *attr = _attrs;
        uint32_t count = static_cast<uint32_t>(d.dataLength);
        if (count > piece)
            return TOLM_ERR_INVALID_DATA;
        memcpy(to, d.data, count);
        to += count;
        offset += count;
        length -= count;
        *bytesRead += count;
        if (TolmFsReply::end(d.status))
            return TOLM_ERR_END_OF_FILE;
        // No bytes and no end: the D-blade would have us ask for ever.
        if (count == 0)
            return TOLM_ERR_INVALID_DATA;
    }
    return 0;
}

uint32_t TolmFile::write(const tolm_fid_t* fid, uint64_t offset, uint64_t length,
                         const void* buffer, tolm_attr_t* attr) {
    if (fid == nullptr || (buffer == nullptr && length > 0))
        return TOLM_ERR_INVALID_PARAMETERS;
    const uint8_t* from = static_cast<const uint8_t*>(buffer);
    std::vector<uint8_t> reply;
    while (length > 0) {
        uint32_t piece = length < TOLM_MAX_IO ? static_cast<uint32_t>(length) : TOLM_MAX_IO;
        const TolmFsOp& op = TolmFsOps::write;
        TolmFsRequest req = request(op);
        req.setFid(P::Fid, *fid);
        req.setU64(P::Offset, offset);
        req.set(P::Count, piece);
        req.data = from;
        req.dataLength = piece;
        uint32_t st = send(req, fid->vfs, &reply);
        TolmFsReplyData d;
        if (st == 0)
            st = decodeReply(op, reply, &d);
        if (st != 0)
            return st;
        _attrs = d.attr;
        if (attr != nullptr)
            *attr = _attrs;
        // The bytes written are the status's count.
        uint32_t count = TolmFsReply::count(d.status);
        if (count == 0 || count > piece)
            return TOLM_ERR_INVALID_DATA;
        from += count;
        offset += count;
        length -= count;
    }
    return 0;
}
