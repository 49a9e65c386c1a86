#include "TolmDirSegment.h"

#include <cstring>

namespace {

template <typename T>
T at(const uint8_t* p, size_t off) {
    T v;
    memcpy(&v, p + off, sizeof v);
    return v;
}

constexpr size_t kTypeByte = 3;
constexpr size_t kBitmask = 24;

constexpr size_t kNameLength = 0;
constexpr size_t kExtension = 2;
constexpr size_t kFlags = 3;
constexpr size_t kInode = 8;
constexpr size_t kUniquifier = 12;
constexpr size_t kName = 16;

constexpr uint8_t kExtensionValid = 0x1;

}  // namespace

TolmDirSegment::Result TolmDirSegment::decode(const uint8_t* seg, std::vector<Entry>* entries) {
    entries->clear();
    if ((seg[kTypeByte] >> 6) != kNameSegment)
        return kNotNameSegment;
    uint64_t mask = at<uint64_t>(seg, kBitmask);
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
        size_t numToCopy = nameLen < kInline ? nameLen : kInline;
        out.name.assign(reinterpret_cast<const char*>(e + kName), numToCopy);
        const uint8_t* cur = e;
        uint64_t passed = 1ULL << i;
        while (out.name.size() < nameLen) {
            if (!(cur[kExtension] & kExtensionValid))
                return kBroken;
            int next = cur[kExtension] >> 2;
            if (next == 0 || (mask & (1ULL << next)) || (passed & (1ULL << next)))
                return kBroken;
            passed |= 1ULL << next;
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
