#include "SimDirSegments.h"

#include <cstring>

namespace {

constexpr int kSlots = 64;  // the header's slot and entries 1-63
constexpr size_t kSlotBytes = 32;
constexpr size_t kPiece = 16;

void put16(uint8_t* p, uint16_t v) {
    memcpy(p, &v, 2);
}
void put32(uint8_t* p, uint32_t v) {
    memcpy(p, &v, 4);
}
void put64(uint8_t* p, uint64_t v) {
    memcpy(p, &v, 8);
}

int slotsFor(size_t length) {
    return length <= kPiece ? 1 : static_cast<int>((length + kPiece - 1) / kPiece);
}

// One segment under construction.
struct Segment {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(SimDirSegments::kSize, 0);
    uint64_t mask = 0;
    bool used[kSlots] = {true};  // slot 0 is the header
    int free = kSlots - 1;

    uint8_t* slot(int i) { return bytes.data() + i * kSlotBytes; }
    int lowestFree() const {
        for (int i = 1; i < kSlots; i++)
            if (!used[i])
                return i;
        return -1;
    }
    int highestFree() const {
        for (int i = kSlots - 1; i > 0; i--)
            if (!used[i])
                return i;
        return -1;
    }
};

void place(Segment* seg, const SimDirSegments::Name& n, SimDirSegments::Header header) {
    int first = seg->lowestFree();
    seg->used[first] = true;
    seg->free--;
    seg->mask |= 1ULL << first;
    uint8_t* e = seg->slot(first);
    put16(e, static_cast<uint16_t>(n.name.size()));
    e[3] = n.flags;
    put32(e + 8, n.inode);
    put32(e + 12, n.uniquifier);
    size_t done = n.name.size() < kPiece ? n.name.size() : kPiece;
    memcpy(e + 16, n.name.data(), done);
    while (done < n.name.size()) {
        int next = header == SimDirSegments::Header::Wide ? seg->lowestFree() : seg->highestFree();
        seg->used[next] = true;
        seg->free--;
        e[2] = static_cast<uint8_t>(next << 2 | 1);  // extension valid, its index
        e = seg->slot(next);
        size_t piece = n.name.size() - done < kPiece ? n.name.size() - done : kPiece;
        memcpy(e + 16, n.name.data() + done, piece);
        done += piece;
    }
}

void finish(Segment* seg, uint32_t index, uint32_t count, SimDirSegments::Header header) {
    uint8_t* h = seg->bytes.data();
    uint32_t next = index + 1 < count ? index + 1 : 0;
    uint32_t prev = index;  // one more than the previous segment's index; 0: none
    if (header == SimDirSegments::Header::Narrow) {
        put32(h, 2u << 30);
        put16(h + 4, static_cast<uint16_t>(next));
        put16(h + 6, static_cast<uint16_t>(index));
        put32(h + 8, next);
        put32(h + 12, prev);
        put64(h + 24, seg->mask);
        return;
    }
    uint32_t inUse = static_cast<uint32_t>(__builtin_popcountll(seg->mask));
    put32(h, 2u << 30 | inUse);
    put32(h + 4, next);
    put32(h + 8, index);
    put64(h + 12, 0x5100000000ULL | next);
    put32(h + 20, prev);
    put64(h + 24, seg->mask | 1);
}

}  // namespace

std::vector<std::vector<uint8_t>> SimDirSegments::pack(const std::vector<Name>& names,
                                                       Header header) {
    std::vector<Segment> segments;
    for (const Name& n : names) {
        int need = slotsFor(n.name.size());
        if (need > kSlots - 1)
            continue;
        if (segments.empty() || segments.back().free < need)
            segments.emplace_back();
        place(&segments.back(), n, header);
    }
    std::vector<std::vector<uint8_t>> out;
    for (size_t i = 0; i < segments.size(); i++) {
        finish(&segments[i], static_cast<uint32_t>(i), static_cast<uint32_t>(segments.size()),
               header);
        out.push_back(std::move(segments[i].bytes));
    }
    return out;
}
