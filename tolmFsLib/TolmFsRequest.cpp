#include "TolmFsRequest.h"

#include <cstdint>
#include <cstring>

#include "Check.h"

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
bool take(const uint8_t*& p, const uint8_t* end, T* v) {
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

TolmFsRequest::TolmFsRequest(const TolmFsOp& o)
    : op(&o),
      dchipFlags(
          static_cast<uint16_t>(dchipPrefetch(o.prefetch) | (o.readlock ? DCHIP_READLOCK : 0))),
      opcode(o.opcode),
      withCredentials(o.credentials),
      params(o.words(), 0) {
    params[0] = o.specifier;
}

size_t TolmFsRequest::at(TolmFsParam p, size_t width) const {
    int w = op != nullptr ? op->wordOf(p) : -1;
    if (w < 0 || static_cast<size_t>(w) + width > params.size())
        return SIZE_MAX;
    return static_cast<size_t>(w);
}

void TolmFsRequest::set(TolmFsParam p, uint32_t v) {
    size_t i = at(p, 1);
    TOLM_CHECK_TEXT(i != SIZE_MAX, "the operation carries the parameter");
    params[i] = v;
}

void TolmFsRequest::setU64(TolmFsParam p, uint64_t v) {
    size_t i = at(p, 2);
    TOLM_CHECK_TEXT(i != SIZE_MAX, "the operation carries the parameter");
    memcpy(&params[i], &v, sizeof v);
}

void TolmFsRequest::setFid(TolmFsParam p, const tolm_fid_t& fid) {
    size_t i = at(p, 3);
    TOLM_CHECK_TEXT(i != SIZE_MAX, "the operation carries the parameter");
    params[i] = fid.vfs;
    params[i + 1] = fid.vnode;
    params[i + 2] = fid.unique;
}

// how, mode, uid, gid, size (2 words), dos_attributes, atime (seconds,
// nanoseconds), crtime, mtime (seconds, nanoseconds), domainId.
void TolmFsRequest::setSetAttr(TolmFsParam p, const tolm_set_attr_t& a) {
    size_t i = at(p, kSetAttrWords);
    TOLM_CHECK_TEXT(i != SIZE_MAX, "the operation carries the parameter");
    uint32_t* w = &params[i];
    w[0] = a.how;
    w[1] = a.mode;
    w[2] = a.uid;
    w[3] = a.gid;
    memcpy(&w[4], &a.size, sizeof a.size);
    w[6] = a.dos_attributes;
    w[7] = a.atime_secs;
    w[8] = a.atime_nsecs;
    w[9] = a.crtime;
    w[10] = a.mtime_secs;
    w[11] = a.mtime_nsecs;
    w[12] = a.domainId;
}

uint32_t TolmFsRequest::get(TolmFsParam p) const {
    size_t i = at(p, 1);
    return i == SIZE_MAX ? 0 : params[i];
}

uint64_t TolmFsRequest::getU64(TolmFsParam p) const {
    size_t i = at(p, 2);
    uint64_t v = 0;
    if (i != SIZE_MAX)
        memcpy(&v, &params[i], sizeof v);
    return v;
}

tolm_fid_t TolmFsRequest::getFid(TolmFsParam p) const {
    size_t i = at(p, 3);
    if (i == SIZE_MAX)
        return tolm_fid_t{0, 0, 0};
    return tolm_fid_t{params[i], params[i + 1], params[i + 2]};
}

tolm_set_attr_t TolmFsRequest::getSetAttr(TolmFsParam p) const {
    tolm_set_attr_t a = {};
    size_t i = at(p, kSetAttrWords);
    if (i == SIZE_MAX)
        return a;
    const uint32_t* w = &params[i];
    a.how = w[0];
    a.mode = w[1];
    a.uid = w[2];
    a.gid = w[3];
    memcpy(&a.size, &w[4], sizeof a.size);
    a.dos_attributes = w[6];
    a.atime_secs = w[7];
    a.atime_nsecs = w[8];
    a.crtime = w[9];
    a.mtime_secs = w[10];
    a.mtime_nsecs = w[11];
    a.domainId = w[12];
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
    TOLM_CHECK_TEXT(op == nullptr || op->longForm == longForm(),
                    "the request carries what its operation's header form says");
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
    if (!take(p, end, &out->dchipFlags) || !take(p, end, &credWords) || !take(p, end, &paramWords))
        return false;
    bool isLong =
        (out->dchipFlags & (DCHIP_WRITE_DATA | DCHIP_SOURCE_NAME | DCHIP_TARGET_NAME)) != 0;
    if (isLong &&
        (!take(p, end, &sourceWords) || !take(p, end, &targetWords) || !take(p, end, &dataBytes)))
        return false;
    uint8_t ngids = 0;
    if (!take(p, end, &out->opcode) || !take(p, end, &ngids) || !take(p, end, &out->flags))
        return false;
    if (credWords == 0 || ngids > TOLM_MAX_GIDS)
        return false;
    out->withCredentials = credWords > 1;
    if (out->withCredentials) {
        if (credWords != 4 + ngids)
            return false;
        if (!take(p, end, &out->cred.uid) || !take(p, end, &out->cred.gid) ||
            !take(p, end, &out->cred.domain))
            return false;
        if (tolmCredNgids(out->cred) != ngids)
            return false;
        for (uint8_t i = 0; i < ngids; i++)
            if (!take(p, end, &out->cred.generic_gids[i]))
                return false;
    } else if (ngids != 0) {
        return false;
    }
    for (uint8_t i = 0; i < paramWords; i++) {
        uint32_t w;
        if (!take(p, end, &w))
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
    out->op = TolmFsOp::find(out->opcode, out->specifier());
    out->data = dataBytes > 0 ? p : nullptr;
    out->dataLength = dataBytes;
    return true;
}
