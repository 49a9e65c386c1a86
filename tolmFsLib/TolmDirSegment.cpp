#include "TolmDirSegment.h"

#include <cstring>

namespace {

template <typename T>
T at(const uint8_t* p, size_t off) {
    T v;
    memcpy(&v, p + off, sizeof v);
    return v;
}

template <typename T>
void set(uint8_t* p, size_t off, T v) {
    memcpy(p + off, &v, sizeof v);
}

constexpr size_t kOverhead = 0;
constexpr size_t kNextName = 4;
constexpr size_t kCurrentName = 6;
constexpr size_t kNext = 8;
constexpr size_t kPrev = 12;
constexpr size_t kReserved = 16;
constexpr size_t kBitmask = 24;

constexpr size_t kNameLength = 0;
constexpr size_t kExtension = 2;
constexpr size_t kFlags = 3;
constexpr size_t kNextInHash = 4;
constexpr size_t kInode = 8;
constexpr size_t kUniquifier = 12;
constexpr size_t kName = 16;

constexpr uint8_t kExtensionValid = 0x1;

}  // namespace

int TolmDirSegment::entriesFor(size_t nameLength) {
    if (nameLength <= kInline)
        return 1;
    return 1 + static_cast<int>((nameLength - kInline + kInline - 1) / kInline);
}

TolmDirSegment::Result TolmDirSegment::decode(const uint8_t* seg, std::vector<Entry>* entries) {
    entries->clear();
    uint8_t typeByte = seg[kOverhead + 3];
    if ((typeByte >> 6) != kNameSegment)
        return kNotNameSegment;
    uint32_t overhead = at<uint32_t>(seg, kOverhead);
    uint32_t typeBits = static_cast<uint32_t>(0xC0) << 24;
    if ((overhead & ~typeBits) != 0)
        return kBroken;
    for (size_t i = kReserved; i < kBitmask; i++)
        if (seg[i] != 0)
            return kBroken;
    uint64_t mask = at<uint64_t>(seg, kBitmask);
    if (mask & 1)
        return kBroken;
    for (int i = 1; i <= kEntries; i++) {
        if (!(mask & (1ULL << i)))
            continue;
        const uint8_t* e = seg + i * kEntrySize;
        Entry out;
        out.index = i;
        out.inode = at<uint32_t>(e, kInode);
        out.uniquifier = at<uint32_t>(e, kUniquifier);
        out.flags = e[kFlags];
        size_t nameLen = at<uint16_t>(e, kNameLength);
        if (nameLen > kMaxName)
            return kBroken;
        size_t numToCopy = nameLen < kInline ? nameLen : kInline;
        out.name.assign(reinterpret_cast<const char*>(e + kName), numToCopy);
        const uint8_t* cur = e;
        int hops = 0;
        while (out.name.size() < nameLen) {
            if (!(cur[kExtension] & kExtensionValid))
                return kBroken;
            int next = cur[kExtension] >> 2;
            if (next == 0 || (mask & (1ULL << next)) || ++hops > kEntries)
                return kBroken;
            cur = seg + next * kEntrySize;
            numToCopy = nameLen - out.name.size();
            if (numToCopy > kInline)
                numToCopy = kInline;
            out.name.append(reinterpret_cast<const char*>(cur + kName), numToCopy);
        }
        entries->push_back(out);
    }
    return kOk;
}

size_t TolmDirSegment::encode(const std::vector<Entry>& names, uint16_t current, uint16_t nextName,
                              uint32_t next, uint32_t prev, uint8_t* seg) {
    memset(seg, 0, kSize);
    seg[kOverhead + 3] = static_cast<uint8_t>(kNameSegment << 6);
    set<uint16_t>(seg, kNextName, nextName);
    set<uint16_t>(seg, kCurrentName, current);
    set<uint32_t>(seg, kNext, next);
    set<uint32_t>(seg, kPrev, prev);
    uint64_t mask = 0;
    int low = 1;          // next entry for a name
    int high = kEntries;  // next entry for an extension
    size_t placed = 0;
    for (const Entry& n : names) {
        int need = entriesFor(n.name.size());
        if (n.name.size() > kMaxName || low + need - 1 > high)
            break;
        uint8_t* e = seg + low * kEntrySize;
        mask |= 1ULL << low;
        low++;
        set<uint16_t>(e, kNameLength, static_cast<uint16_t>(n.name.size()));
        e[kFlags] = n.flags;
        set<uint32_t>(e, kNextInHash, 0);
        set<uint32_t>(e, kInode, n.inode);
        set<uint32_t>(e, kUniquifier, n.uniquifier);
        size_t done = n.name.size() < kInline ? n.name.size() : kInline;
        memcpy(e + kName, n.name.data(), done);
        while (done < n.name.size()) {
            uint8_t* ext = seg + high * kEntrySize;
            e[kExtension] = static_cast<uint8_t>((high << 2) | kExtensionValid);
            high--;
            size_t piece = n.name.size() - done < kInline ? n.name.size() - done : kInline;
            memcpy(ext + kName, n.name.data() + done, piece);
            done += piece;
            e = ext;
        }
        placed++;
    }
    set<uint64_t>(seg, kBitmask, mask);
    return placed;
}
