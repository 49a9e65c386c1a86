#include "TolmFsReply.h"

#include <cstring>

#include "TolmDirSegment.h"

void TolmFsReply::putWord(uint32_t w) {
    putBytes(&w, sizeof w);
}

void TolmFsReply::putU64(uint64_t v) {
    putBytes(&v, sizeof v);
}

void TolmFsReply::putBytes(const void* bytes, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(bytes);
    _out.insert(_out.end(), b, b + n);
}

void TolmFsReply::putFid(const tolm_fid_t& fid) {
    putWord(fid.vfs);
    putWord(fid.vnode);
    putWord(fid.unique);
}

void TolmFsReply::putAttr(const tolm_attr_t& a) {
    putWord((a.uniquifier & 0xFFFFFF) | (static_cast<uint32_t>(a.filetype) << 24));
    putWord((a.links & 0xFFFFFF) | (static_cast<uint32_t>(a.high_attrs) << 24));
    putWord(a.low_attrs | (static_cast<uint32_t>(a.mode) << 16));
    putWord(a.uid);
    putWord(a.gid);
    putWord(a.atime);
    putU64(a.length);
    putWord(a.ctime_secs);
    putWord(a.ctime_nsecs);
    putWord(a.mtime_secs);
    putWord(a.mtime_nsecs);
    putU64((a.blocks & 0xFFFFFFFFFFFFFULL) | (static_cast<uint64_t>(a.domainId & 0xFFF) << 52));
    putWord(a.crtime);
}

void TolmFsReply::putCounted(const std::string& bytes) {
    putWord(static_cast<uint32_t>(bytes.size()));
    putBytes(bytes.data(), bytes.size());
    static const uint8_t zeros[4] = {};
    putBytes(zeros, (4 - bytes.size() % 4) % 4);
}

bool TolmFsReply::getWord(uint32_t* w) {
    if (_len - _pos < sizeof *w)
        return false;
    memcpy(w, _in + _pos, sizeof *w);
    _pos += sizeof *w;
    return true;
}

bool TolmFsReply::getFid(tolm_fid_t* fid) {
    return getWord(&fid->vfs) && getWord(&fid->vnode) && getWord(&fid->unique);
}

bool TolmFsReply::getAttr(tolm_attr_t* a) {
    uint32_t w[kAttrWords];
    for (uint32_t& x : w)
        if (!getWord(&x))
            return false;
    auto u64 = [&](int i) {
        uint64_t v;
        memcpy(&v, &w[i], sizeof v);
        return v;
    };
    a->uniquifier = w[0] & 0xFFFFFF;
    a->filetype = static_cast<uint8_t>(w[0] >> 24);
    a->links = w[1] & 0xFFFFFF;
    a->high_attrs = static_cast<uint8_t>(w[1] >> 24);
    a->low_attrs = static_cast<uint16_t>(w[2] & 0xFFFF);
    a->mode = static_cast<uint16_t>(w[2] >> 16);
    a->uid = w[3];
    a->gid = w[4];
    a->atime = w[5];
    a->length = u64(6);
    a->ctime_secs = w[8];
    a->ctime_nsecs = w[9];
    a->mtime_secs = w[10];
    a->mtime_nsecs = w[11];
    uint64_t blocks = u64(12);
    a->blocks = blocks & 0xFFFFFFFFFFFFFULL;
    a->domainId = static_cast<uint16_t>(blocks >> 52);
    a->crtime = w[14];
    return true;
}

bool TolmFsReply::getCounted(std::string* bytes, size_t max) {
    uint32_t n;
    if (!getWord(&n))
        return false;
    size_t padded = (static_cast<size_t>(n) + 3) & ~static_cast<size_t>(3);
    if (n > max || _len - _pos < padded)
        return false;
    bytes->assign(reinterpret_cast<const char*>(_in + _pos), n);
    _pos += padded;
    return true;
}

bool TolmFsReply::decode(TolmFsReplyForm form, const uint8_t* in, size_t len,
                         TolmFsReplyData* out) {
    *out = TolmFsReplyData();
    TolmFsReply r(in, len);
    if (!r.getWord(&out->status))
        return false;
    if (failed(out->status) && form != TolmFsReplyForm::Lookup)
        return true;
    switch (form) {
        case TolmFsReplyForm::Status:
            return true;
        case TolmFsReplyForm::Attr:
            return r.getAttr(&out->attr);
        case TolmFsReplyForm::AttrIfAny:
            // What follows the status is the D-blade's choice: attributes
            // when there are enough bytes for them, else nothing is taken.
            if (r.restLength() >= 4 * kAttrWords)
                r.getAttr(&out->attr);
            return true;
        case TolmFsReplyForm::NewObject: {
            uint32_t word;
            return r.getWord(&word) && r.getFid(&out->fid) && r.getAttr(&out->attr);
        }
        case TolmFsReplyForm::Lookup:
            return r.getFid(&out->fid) && r.getAttr(&out->attr) &&
                   r.getCounted(&out->text, TOLM_MAX_PATH);
        case TolmFsReplyForm::Data:
            if (!r.getAttr(&out->attr) || r.restLength() < count(out->status))
                return false;
            out->data = r.rest();
            out->dataLength = count(out->status);
            return true;
        case TolmFsReplyForm::MountPoint:
            return r.getAttr(&out->attr) && r.getWord(&out->rootvnode) &&
                   r.getWord(&out->rootunique) && r.getCounted(&out->text, TOLM_MAX_VOLNAME - 1);
        case TolmFsReplyForm::DirSegments:
            if (!r.getAttr(&out->attr) || r.restLength() % TolmDirSegment::kSize != 0 ||
                r.restLength() > TolmDirSegment::kMaxReplyBytes)
                return false;
            out->data = r.rest();
            out->dataLength = r.restLength();
            return true;
    }
    return false;
}
