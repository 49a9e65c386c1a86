#include "TolmFsRequest.h"

#include <cstring>

namespace {

size_t padded(size_t n) {
    return (n + 3) & ~static_cast<size_t>(3);
}

template <typename T>
void put(uint8_t*& p, T v) {
    memcpy(p, &v, sizeof v);
    p += sizeof v;
}

template <typename T>
bool get(const uint8_t*& p, const uint8_t* end, T* v) {
    if (static_cast<size_t>(end - p) < sizeof *v)
        return false;
    memcpy(v, p, sizeof *v);
    p += sizeof *v;
    return true;
}

void putName(uint8_t*& p, const std::string& name) {
    memcpy(p, name.data(), name.size());
    memset(p + name.size(), 0, padded(name.size()) - name.size());
    p += padded(name.size());
}

constexpr size_t kSetAttrWords = 13;

}  // namespace

void TolmFsRequest::addU64(uint64_t v) {
    uint32_t w[2];
    memcpy(w, &v, sizeof v);
    params.push_back(w[0]);
    params.push_back(w[1]);
}

void TolmFsRequest::addFid(const tolm_fid_t& fid) {
    params.push_back(fid.vfs);
    params.push_back(fid.vnode);
    params.push_back(fid.unique);
}

// how, mode, uid, gid, size (2 words), dos_attributes, atime (seconds,
// nanoseconds), crtime, mtime (seconds, nanoseconds), domainId.
void TolmFsRequest::addSetAttr(const tolm_set_attr_t& a) {
    addWord(a.how);
    addWord(a.mode);
    addWord(a.uid);
    addWord(a.gid);
    addU64(a.size);
    addWord(a.dos_attributes);
    addWord(a.atime_secs);
    addWord(a.atime_nsecs);
    addWord(a.crtime);
    addWord(a.mtime_secs);
    addWord(a.mtime_nsecs);
    addWord(a.domainId);
}

uint64_t TolmFsRequest::u64(size_t i) const {
    uint32_t w[2] = {word(i), word(i + 1)};
    uint64_t v;
    memcpy(&v, w, sizeof v);
    return v;
}

tolm_fid_t TolmFsRequest::fid(size_t i) const {
    return tolm_fid_t{word(i), word(i + 1), word(i + 2)};
}

tolm_set_attr_t TolmFsRequest::setAttr(size_t i) const {
    tolm_set_attr_t a;
    a.how = word(i);
    a.mode = word(i + 1);
    a.uid = word(i + 2);
    a.gid = word(i + 3);
    a.size = u64(i + 4);
    a.dos_attributes = word(i + 6);
    a.atime_secs = word(i + 7);
    a.atime_nsecs = word(i + 8);
    a.crtime = word(i + 9);
    a.mtime_secs = word(i + 10);
    a.mtime_nsecs = word(i + 11);
    a.domainId = word(i + 12);
    static_assert(kSetAttrWords == 13, "13 words of attributes to set");
    return a;
}

bool TolmFsRequest::longForm() const {
    return !sourceName.empty() || !targetName.empty() || dataLength > 0;
}

size_t TolmFsRequest::size() const {
    size_t credWords = withCredentials ? 3 + tolmCredNgids(cred) : 0;
    return (longForm() ? 8 : 4) + 4 + 4 * credWords + 4 * params.size() +
           padded(sourceName.size()) + padded(targetName.size()) + dataLength;
}

void TolmFsRequest::encode(uint8_t* out) const {
    uint8_t* p = out;
    uint32_t ngids = withCredentials ? tolmCredNgids(cred) : 0;
    uint16_t dchip = dchipFlags & ~(DCHIP_WRITE_DATA | DCHIP_SOURCE_NAME | DCHIP_TARGET_NAME);
    if (dataLength > 0)
        dchip |= DCHIP_WRITE_DATA;
    if (!sourceName.empty())
        dchip |= DCHIP_SOURCE_NAME;
    if (!targetName.empty())
        dchip |= DCHIP_TARGET_NAME;
    put<uint16_t>(p, dchip);
    put<uint8_t>(p, static_cast<uint8_t>(1 + (withCredentials ? 3 + ngids : 0)));
    put<uint8_t>(p, static_cast<uint8_t>(params.size()));
    if (longForm()) {
        put<uint8_t>(p, static_cast<uint8_t>(padded(sourceName.size()) / 4));
        put<uint8_t>(p, static_cast<uint8_t>(padded(targetName.size()) / 4));
        put<uint16_t>(p, static_cast<uint16_t>(dataLength));
    }
    put<uint16_t>(p, opcode);
    put<uint8_t>(p, static_cast<uint8_t>(ngids));
    put<uint8_t>(p, withCredentials ? flags : 0);
    if (withCredentials) {
        put<uint32_t>(p, cred.uid);
        put<uint32_t>(p, cred.gid);
        put<uint32_t>(p, cred.domain);
        for (uint32_t i = 0; i < ngids; i++)
            put<uint32_t>(p, cred.generic_gids[i]);
    }
    for (uint32_t w : params)
        put<uint32_t>(p, w);
    putName(p, sourceName);
    putName(p, targetName);
    if (dataLength > 0)
        memcpy(p, data, dataLength);
}

std::vector<uint8_t> TolmFsRequest::encode() const {
    std::vector<uint8_t> out(size());
    encode(out.data());
    return out;
}

bool TolmFsRequest::decode(const uint8_t* in, size_t len, TolmFsRequest* out) {
    const uint8_t* p = in;
    const uint8_t* end = in + len;
    *out = TolmFsRequest();
    uint8_t credWords = 0;
    uint8_t paramWords = 0;
    uint8_t sourceWords = 0;
    uint8_t targetWords = 0;
    uint16_t dataBytes = 0;
    if (!get(p, end, &out->dchipFlags) || !get(p, end, &credWords) || !get(p, end, &paramWords))
        return false;
    bool isLong =
        (out->dchipFlags & (DCHIP_WRITE_DATA | DCHIP_SOURCE_NAME | DCHIP_TARGET_NAME)) != 0;
    if (isLong &&
        (!get(p, end, &sourceWords) || !get(p, end, &targetWords) || !get(p, end, &dataBytes)))
        return false;
    uint8_t ngids = 0;
    if (!get(p, end, &out->opcode) || !get(p, end, &ngids) || !get(p, end, &out->flags))
        return false;
    if (credWords == 0 || ngids > TOLM_MAX_GIDS)
        return false;
    out->withCredentials = credWords > 1;
    if (out->withCredentials) {
        if (credWords != 4 + ngids)
            return false;
        if (!get(p, end, &out->cred.uid) || !get(p, end, &out->cred.gid) ||
            !get(p, end, &out->cred.domain))
            return false;
        if (tolmCredNgids(out->cred) != ngids)
            return false;
        for (uint8_t i = 0; i < ngids; i++)
            if (!get(p, end, &out->cred.generic_gids[i]))
                return false;
    } else if (ngids != 0) {
        return false;
    }
    for (uint8_t i = 0; i < paramWords; i++) {
        uint32_t w;
        if (!get(p, end, &w))
            return false;
        out->params.push_back(w);
    }
    auto name = [&](uint8_t words, std::string* s) {
        size_t n = 4u * words;
        if (static_cast<size_t>(end - p) < n)
            return false;
        s->assign(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), n));
        p += n;
        return true;
    };
    if (!name(sourceWords, &out->sourceName) || !name(targetWords, &out->targetName))
        return false;
    if (static_cast<size_t>(end - p) != dataBytes)
        return false;
    out->data = dataBytes > 0 ? p : nullptr;
    out->dataLength = dataBytes;
    return true;
}
