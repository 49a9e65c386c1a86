#include "TolmDir.h"

#include <cstring>
#include <vector>

#include "TolmDirSegment.h"
#include "TolmErr.h"
#include "TolmFsReply.h"
#include "TolmVldb.h"

namespace {

using P = TolmFsParam;

}  // namespace

TolmDir::TolmDir(TolmVldb* vldb) : TolmObj(vldb) {
    pthread_mutex_init(&_mutex, nullptr);
    memset(_segments, 0, sizeof _segments);
    memset(_name, 0, sizeof _name);
}

TolmDir::~TolmDir() {
    pthread_mutex_destroy(&_mutex);
}

uint32_t TolmDir::mkDir(const tolm_fid_t* dir, const char* name, const tolm_set_attr_t* set,
                        tolm_fid_t* fid, tolm_attr_t* attr, uint32_t) {
    if (dir == nullptr || set == nullptr || fid == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (uint32_t st = checkName(name))
        return st;
    const TolmFsOp& op = TolmFsOps::mkDir;
    TolmFsRequest req = request(op);
    req.setFid(P::DirFid, *dir);
    req.setSetAttr(P::SetAttr, *set);
    std::vector<uint8_t> reply;
    uint32_t st = sendNamed(req, dir->vfs, name, &reply);
    return st != 0 ? st : newObjectReply(op, reply, fid, attr);
}

uint32_t TolmDir::rmDir(const tolm_fid_t* dir, const char* name, tolm_attr_t* attr) {
    if (dir == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (uint32_t st = checkName(name))
        return st;
    const TolmFsOp& op = TolmFsOps::rmDir;
    TolmFsRequest req = request(op);
    req.setFid(P::DirFid, *dir);
    std::vector<uint8_t> reply;
    int32_t timeout = _vldb->userSpecificRfTimeouts() ? 0 : kRmDirTimeoutSecs;
    uint32_t st = sendNamed(req, dir->vfs, name, &reply, timeout);
    return st != 0 ? st : attrReply(op, reply, attr);
}

uint32_t TolmDir::readDir(const tolm_fid_t* dir, uint32_t cookie, uint32_t* count,
                          tolm_attr_t* attr, TolmDirCallback callback, void* arg) {
    if (dir == nullptr || count == nullptr || callback == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    *count = 0;
    std::vector<uint8_t> reply;
    std::vector<TolmDirSegment::Entry> entries;
    const TolmFsOp& op = TolmFsOps::readDir;
    uint32_t segmentsRead = 0;
    for (;;) {
        TolmFsRequest req = request(op);
        req.setFid(P::DirFid, *dir);
        req.set(P::Cookie, cookie);
        uint32_t st = send(req, dir->vfs, &reply);
        TolmFsReplyData d;
        if (st == 0)
            st = decodeReply(op, reply, &d);
        if (st != 0)
            return st;
        _attrs = d.attr;
        if (attr != nullptr)
            *attr = _attrs;
        uint32_t segments = static_cast<uint32_t>(d.dataLength / TolmDirSegment::kSize);
        segmentsRead += segments;
        if (segmentsRead > kMaxSegments)
            return TOLM_ERR_INVALID_DATA;
        pthread_mutex_lock(&_mutex);
        if (d.dataLength > 0)
            memcpy(_segments, d.data, d.dataLength);
        uint32_t result = 0;
        for (size_t off = 0; off < d.dataLength && result == 0; off += TolmDirSegment::kSize) {
            switch (TolmDirSegment::decode(_segments + off, &entries)) {
                case TolmDirSegment::kNotNameSegment:
                    result = TOLM_ERR_NOT_NAME_SEGMENT;
                    break;
                case TolmDirSegment::kBroken:
                    result = TOLM_ERR_INVALID_DATA;
                    break;
                case TolmDirSegment::kOk:
                    break;
            }
            for (size_t i = 0; i < entries.size() && result == 0; i++) {
                const TolmDirSegment::Entry& e = entries[i];
                memcpy(_name, e.name.data(), e.name.size());
                _name[e.name.size()] = '\0';
                (*count)++;
                if (callback(arg, _name, e.inode, e.uniquifier, e.flags) != 0)
                    result = TOLM_ERR_SKIP_SEGMENT;
            }
        }
        pthread_mutex_unlock(&_mutex);
        if (result != 0)
            return result;
        cookie += segments;
        if (TolmFsReply::end(d.status))
            return TOLM_ERR_END_OF_FILE;
        if (segments == 0)
            return TOLM_ERR_INVALID_DATA;
    }
}
