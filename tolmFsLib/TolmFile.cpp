#include "TolmFile.h"

#include <cstring>
#include <vector>

#include "TolmErr.h"
#include "TolmFsReply.h"

namespace {

constexpr uint32_t kSpecPlain = 2;
constexpr uint32_t kSpecExclusive = 0x800;

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
    uint32_t specifier =
        createMode | kSpecPlain | objectType(set->mode) | (flag ? kSpecExclusive : 0);
    TolmFsRequest req = request(TOLM_OP_CREATE, 6, true, specifier);
    req.addFid(*dir);
    req.addSetAttr(*set);
    std::vector<uint8_t> reply;
    uint32_t st = sendNamed(req, dir->vfs, name, &reply);
    if (st == 0)
        st = newObjectReply(reply, fid, attr);
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
        TolmFsRequest req = request(TOLM_OP_READ, 1, true, kSpecPlain);
        req.addFid(*fid);
        req.addU64(offset);
        req.addWord(piece);
        req.addWord(static_cast<uint32_t>(readAhead));
        uint32_t st = send(req, fid->vfs, &reply);
        if (st != 0)
            return st;
        TolmFsReply r(reply.data(), reply.size());
        uint32_t status;
        if (!r.getWord(&status) || !r.getAttr(&_attrs))
            return TOLM_ERR_INVALID_DATA;
        if (attr != nullptr)
            *attr = _attrs;
        uint32_t count = TolmFsReply::count(status);
        if (count > piece || r.restLength() < count)
            return TOLM_ERR_INVALID_DATA;
        memcpy(to, r.rest(), count);
        to += count;
        offset += count;
        length -= count;
        *bytesRead += count;
        if (TolmFsReply::end(status))
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
        TolmFsRequest req = request(TOLM_OP_WRITE, 4, true, kSpecPlain);
        req.addFid(*fid);
        req.addU64(offset);
        req.addWord(piece);
        req.addWord(0);  // expected_additional_count
        req.data = from;
        req.dataLength = piece;
        uint32_t st = send(req, fid->vfs, &reply);
        if (st != 0)
            return st;
        TolmFsReply r(reply.data(), reply.size());
        uint32_t status;
        if (!r.getWord(&status) || !r.getAttr(&_attrs))
            return TOLM_ERR_INVALID_DATA;
        if (attr != nullptr)
            *attr = _attrs;
        uint32_t count = TolmFsReply::count(status);
        if (count == 0 || count > piece)
            return TOLM_ERR_INVALID_DATA;
        from += count;
        offset += count;
        length -= count;
    }
    return 0;
}
