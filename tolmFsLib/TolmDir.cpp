#include "TolmDir.h"

#include <cstring>
#include <vector>

#include "TolmDirSegment.h"
#include "TolmErr.h"
#include "TolmFsReply.h"
#include "TolmVldb.h"

namespace {

constexpr uint32_t kSpecPlain = 2;
constexpr uint32_t kSpecRmDir = 8;
constexpr uint32_t kSpecReadDir = 0x200002;
constexpr int32_t kRmDirTimeoutSecs = 4000;
constexpr int32_t kDefaultTimeoutSecs = 10;

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
    TolmFsRequest req = request(TOLM_OP_MKDIR, 6, true, kSpecPlain);
    req.addFid(*dir);
    req.addSetAttr(*set);
    std::vector<uint8_t> reply;
    uint32_t st = sendNamed(req, dir->vfs, name, &reply);
    return st != 0 ? st : newObjectReply(reply, fid, attr);
}

uint32_t TolmDir::rmDir(const tolm_fid_t* dir, const char* name, tolm_attr_t* attr) {
    if (dir == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (uint32_t st = checkName(name))
        return st;
    TolmFsRequest req = request(TOLM_OP_RMDIR, 6, true, kSpecRmDir);
    req.addFid(*dir);
    std::vector<uint8_t> reply;
    _vldb->setRfDefaultCallTimeout(kRmDirTimeoutSecs);
    uint32_t st = sendNamed(req, dir->vfs, name, &reply);
    _vldb->setRfDefaultCallTimeout(kDefaultTimeoutSecs);
    return st != 0 ? st : attrReply(reply, attr);
}

uint32_t TolmDir::readDir(const tolm_fid_t* dir, uint32_t cookie, uint32_t* count,
                          tolm_attr_t* attr, TolmDirCallback callback, void* arg) {
    if (dir == nullptr || count == nullptr || callback == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    *count = 0;
    std::vector<uint8_t> reply;
    std::vector<TolmDirSegment::Entry> entries;
    for (;;) {
        TolmFsRequest req = request(TOLM_OP_READDIR, 1, true, kSpecReadDir);
        req.addFid(*dir);
        req.addWord(cookie);
        uint32_t st = send(req, dir->vfs, &reply);
        if (st != 0)
            return st;
        TolmFsReply r(reply.data(), reply.size());
        uint32_t status;
        if (!r.getWord(&status) || !r.getAttr(&_attrs))
            return TOLM_ERR_INVALID_DATA;
        if (attr != nullptr)
            *attr = _attrs;
        size_t bytes = TolmFsReply::count(status);
        if (bytes % TolmDirSegment::kSize != 0 || bytes > sizeof _segments ||
            r.restLength() < bytes)
            return TOLM_ERR_INVALID_DATA;
        pthread_mutex_lock(&_mutex);
        memcpy(_segments, r.rest(), bytes);
        uint32_t result = 0;
        for (size_t off = 0; off < bytes && result == 0; off += TolmDirSegment::kSize) {
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
        // The cookie counts the segments delivered so far.
        cookie += static_cast<uint32_t>(bytes / TolmDirSegment::kSize);
        if (TolmFsReply::end(status))
            return TOLM_ERR_END_OF_FILE;
        if (bytes == 0)
            return TOLM_ERR_INVALID_DATA;
    }
}
