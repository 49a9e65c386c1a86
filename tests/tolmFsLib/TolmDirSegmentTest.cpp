// The directory segment decoder against segments written out by hand, in the
// header layouts two D-blades may choose: what the protocol leaves open
// (bytes 4-23, the overhead's other bits, mask bit 0) never changes a result,
// and the broken chains are refused.

#include <gtest/gtest.h>

#include <random>

#include "HandSegment.h"
#include "TolmDirSegment.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#define TOLM_POISON(p, n) ASAN_POISON_MEMORY_REGION(p, n)
#define TOLM_UNPOISON(p, n) ASAN_UNPOISON_MEMORY_REGION(p, n)
#else
#define TOLM_POISON(p, n) ((void)(p), (void)(n))
#define TOLM_UNPOISON(p, n) ((void)(p), (void)(n))
#endif

namespace {

using Entries = std::vector<TolmDirSegment::Entry>;

const std::string kForty = "0123456789abcdef0123456789ABCDEF01234567";

// Names at entries 1, 5 and 63 (short), and a 40-byte one at 2 going on in 40
// and 41. The header's bytes 4-31 are left to the caller but for the mask.
HandSegment sample() {
    HandSegment s;
    s.entry(5, "five", 50, 1, 0);
    s.entry(1, "one-sixteen-byte", 10, 2, 7);
    s.entry(63, "last", 630, 3, 0);
    s.entry(2, kForty, 20, 4, 0, 40);
    s.more(40, kForty.substr(16, 16), 41);
    s.more(41, kForty.substr(32));
    s.mask((1ULL << 1) | (1ULL << 2) | (1ULL << 5) | (1ULL << 63));
    return s;
}

void put16(HandSegment& s, size_t at, uint16_t v) {
    memcpy(&s.b[at], &v, 2);
}
void put32(HandSegment& s, size_t at, uint32_t v) {
    memcpy(&s.b[at], &v, 4);
}

std::string describe(const Entries& es) {
    std::string out;
    for (const auto& e : es)
        out += std::to_string(e.index) + ":" + e.name + ":" + std::to_string(e.inode) + ":" +
               std::to_string(e.uniquifier) + ":" + std::to_string(e.flags) + " ";
    return out;
}

const char kExpected[] =
    "1:one-sixteen-byte:10:2:7 2:0123456789abcdef0123456789ABCDEF01234567:20:4:0 5:five:50:1:0 "
    "63:last:630:3:0 ";

TEST(TolmDirSegment, BothHeaderLayoutsGiveTheSameNames) {
    // Narrow: 16-bit next_name and current_name, 32-bit next and prev, zeros.
    HandSegment narrow = sample();
    put16(narrow, 4, 3);
    put16(narrow, 6, 2);
    put32(narrow, 8, 3);
    put32(narrow, 12, 1);
    Entries got;
    ASSERT_EQ(TolmDirSegment::kOk, TolmDirSegment::decode(narrow.b.data(), &got));
    EXPECT_EQ(kExpected, describe(got));

    // Wide: 32-bit next_name and current_name, next and prev after them, no
    // reserved bytes, a count in the overhead's low bits, mask bit 0 set.
    HandSegment wide = sample();
    put32(wide, 0, 0x80000004);
    put32(wide, 4, 0x00010003);
    put32(wide, 8, 0x00010002);
    put32(wide, 12, 0xdeadbeef);
    put32(wide, 16, 0x00000051);
    put32(wide, 20, 0xffffffff);
    uint64_t mask;
    memcpy(&mask, &wide.b[24], 8);
    wide.mask(mask | 1);
    ASSERT_EQ(TolmDirSegment::kOk, TolmDirSegment::decode(wide.b.data(), &got));
    EXPECT_EQ(kExpected, describe(got));

    // Random bytes 4-23 and overhead bits, a thousand times over.
    std::mt19937 rng(27);
    for (int trial = 0; trial < 1000; trial++) {
        HandSegment r = sample();
        for (size_t i = 0; i < 24; i++)
            if (i != 3)
                r.b[i] = static_cast<uint8_t>(rng());
        r.b[3] = static_cast<uint8_t>(0x80 | (rng() & 0x3F));
        ASSERT_EQ(TolmDirSegment::kOk, TolmDirSegment::decode(r.b.data(), &got)) << trial;
        ASSERT_EQ(kExpected, describe(got)) << trial;
    }
}

// Under AddressSanitizer bytes 4-23 are made unreadable: a decoder that
// touches one of them stops the test with a report. Elsewhere the random
// fill above is the check.
TEST(TolmDirSegment, NeverReadsBytesFourToTwentyThree) {
    std::vector<uint8_t>* seg = new std::vector<uint8_t>(sample().b);
    ASSERT_EQ(0u, reinterpret_cast<uintptr_t>(seg->data()) % 8)
        << "poisoning needs 8-byte alignment";
    TOLM_POISON(seg->data() + 4, 20);
    Entries got;
    TolmDirSegment::Result r = TolmDirSegment::decode(seg->data(), &got);
    TOLM_UNPOISON(seg->data() + 4, 20);
    EXPECT_EQ(TolmDirSegment::kOk, r);
    EXPECT_EQ(kExpected, describe(got));
    delete seg;
}

TEST(TolmDirSegment, BrokenChainsAndOtherTypesAreRefused) {
    Entries got;
    EXPECT_EQ(TolmDirSegment::kNotNameSegment,
              TolmDirSegment::decode(HandSegment(1).b.data(), &got));
    EXPECT_EQ(TolmDirSegment::kNotNameSegment,
              TolmDirSegment::decode(HandSegment(3).b.data(), &got));

    struct Case {
        const char* what;
        void (*make)(HandSegment&);
    };
    const Case cases[] = {
        {"the chain ends early",
         [](HandSegment& s) {
             s.entry(2, kForty, 20, 0, 0, 40);
             s.more(40, kForty.substr(16, 16));  // no further extension: 8 bytes short
         }},
        {"it names entry 0",
         [](HandSegment& s) {
             s.entry(2, kForty, 20, 0, 0, 0);
             s.b[64 + 2] = 1;
         }},
        {"it names an entry in use",
         [](HandSegment& s) {
             s.entry(2, kForty, 20, 0, 0, 3);
             s.entry(3, "three", 30, 0, 0);
             s.mask((1ULL << 2) | (1ULL << 3));
         }},
        {"it loops back to its own first entry",
         [](HandSegment& s) {
             s.entry(2, std::string(200, 'x'), 20, 0, 0, 40);
             s.more(40, std::string(16, 'y'), 41);
             s.more(41, std::string(16, 'z'), 40);
             s.mask(1ULL << 2);
         }},
        {"it loops within its extensions",
         [](HandSegment& s) {
             s.entry(2, std::string(1000, 'x'), 20, 0, 0, 40);
             s.more(40, std::string(16, 'y'), 40);
         }},
    };
    for (const Case& c : cases) {
        HandSegment s;
        s.mask(1ULL << 2);
        c.make(s);
        EXPECT_EQ(TolmDirSegment::kBroken, TolmDirSegment::decode(s.b.data(), &got)) << c.what;
    }

    // The longest name a segment can hold: 63 entries of 16 bytes.
    HandSegment full;
    std::string longest;
    for (int i = 0; i < 63; i++)
        longest += std::string(16, static_cast<char>('A' + i % 26));
    full.entry(1, longest, 1, 1, 0, 2);
    for (int i = 2; i <= 63; i++)
        full.more(i, longest.substr(16 * (i - 1), 16), i < 63 ? i + 1 : 0);
    full.mask(1ULL << 1);
    ASSERT_EQ(TolmDirSegment::kOk, TolmDirSegment::decode(full.b.data(), &got));
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(longest, got[0].name);
}

}  // namespace
