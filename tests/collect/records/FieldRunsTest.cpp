// A field list as runs: fields join a run only when they have one width and
// lie next to each other (a field left out of the list or padding before a
// 64-bit field starts a new run), the 16-bit value is a run of its own, and
// the runs write the values in XDR order (big-endian words, the high word of
// a 64-bit value first, the 16-bit value twice) and in file order
// (little-endian), short runs and long ones (the vector loop) alike. A
// record's plan joins the runs of its parts.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

#include "FieldCodec.h"
#include "SerializationException.h"
#include "XdrBuffer.h"
#include "XdrDeserializer.h"
#include "XdrSerializer.h"
#include "XdrWordReader.h"

namespace {

typedef uint32_t counts20_t[20];

struct Sample {
    uint32_t a;
    int32_t b;
    uint64_t c;
    uint32_t d;  // then four bytes of padding
    uint64_t e;
    uint16_t f;
    uint16_t f2;
    uint32_t g;
    uint32_t notListed;
    counts20_t h;
    success_fail_t p[5];
};

#define SAMPLE_FIELDS(F)    \
    F(uint32_t, a)          \
    F(int32_t, b)           \
    F(uint64_t, c)          \
    F(uint32_t, d)          \
    F(uint64_t, e)          \
    F(uint16_t, f)          \
    F(uint16_t, f2)         \
    F(uint32_t, g)          \
    F(counts20_t, h)        \
    F(success_fail_t, p[0]) \
    F(success_fail_t, p[1]) \
    F(success_fail_t, p[2]) \
    F(success_fail_t, p[3]) \
    F(success_fail_t, p[4])

FieldRuns runsOf(const Sample& sub) {
    FieldRuns runs_;
    const void* base_ = &sub;
    SAMPLE_FIELDS(TOLM_RUN_FIELD)
    return runs_;
}

Sample sample() {
    Sample s;
    memset(&s, 0, sizeof s);
    s.a = 0x01020304;
    s.b = -2;
    s.c = 0x1112131415161718ull;
    s.d = 0x80000001;
    s.e = 0xfffffffe00000005ull;
    s.f = 0xbeef;
    s.f2 = 0x0102;
    s.notListed = 0x7777;
    s.g = 0x21222324;
    for (uint32_t i = 0; i < 20; i++)
        s.h[i] = 0xa0000000u + i;
    for (uint64_t i = 0; i < 5; i++) {
        s.p[i].succeeded = 0xc000000000000000ull + 2 * i;
        s.p[i].failed = 0xc000000000000001ull + 2 * i;
    }
    return s;
}

void bigEndian(std::vector<unsigned char>& out, uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; i--)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}
void littleEndian(std::vector<unsigned char>& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; i++)
        out.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

}  // namespace

TEST(FieldRuns, JoinsOnlyAdjacentFieldsOfOneWidth) {
    Sample s = sample();
    FieldRuns runs = runsOf(s);
    using K = FieldRuns::Kind;
    struct Want {
        size_t offset, count;
        K kind;
    };
    const Want want[] = {
        {0, 2, K::Words32},     // a, b
        {8, 1, K::Words64},     // c
        {16, 1, K::Words32},    // d; padding follows
        {24, 1, K::Words64},    // e
        {32, 1, K::Twice16},    // f
        {34, 1, K::Twice16},    // f2, always a run of its own
        {36, 1, K::Words32},    // g; the field after it is left out
        {44, 20, K::Words32},   // h
        {128, 10, K::Words64},  // the five pairs
    };
    ASSERT_EQ(runs.runs().size(), sizeof want / sizeof want[0]);
    for (size_t i = 0; i < runs.runs().size(); i++) {
        EXPECT_EQ(runs.runs()[i].offset, want[i].offset) << i;
        EXPECT_EQ(runs.runs()[i].count, want[i].count) << i;
        EXPECT_EQ(runs.runs()[i].kind, want[i].kind) << i;
    }
}

// The sample's two forms, written out by hand.
void sampleForms(std::vector<unsigned char>& xdr, std::vector<unsigned char>& file) {
    // clang-format off
    xdr = {
        0x01, 0x02, 0x03, 0x04,  0xff, 0xff, 0xff, 0xfe,                          // a, b
        0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18,                           // c
        0x80, 0x00, 0x00, 0x01,                                                   // d
        0xff, 0xff, 0xff, 0xfe, 0x00, 0x00, 0x00, 0x05,                           // e
        0x00, 0x00, 0xbe, 0xef,  0x00, 0x00, 0xbe, 0xef,                          // f twice
        0x00, 0x00, 0x01, 0x02,  0x00, 0x00, 0x01, 0x02,                          // f2 twice
        0x21, 0x22, 0x23, 0x24};                                                  // g
    file = {
        0x04, 0x03, 0x02, 0x01,  0xfe, 0xff, 0xff, 0xff,
        0x18, 0x17, 0x16, 0x15, 0x14, 0x13, 0x12, 0x11,
        0x01, 0x00, 0x00, 0x80,
        0x05, 0x00, 0x00, 0x00, 0xfe, 0xff, 0xff, 0xff,
        0xef, 0xbe, 0xef, 0xbe,
        0x02, 0x01, 0x02, 0x01,
        0x24, 0x23, 0x22, 0x21};
    // clang-format on
    for (uint32_t i = 0; i < 20; i++) {
        bigEndian(xdr, 0xa0000000u + i, 4);
        littleEndian(file, 0xa0000000u + i, 4);
    }
    for (uint64_t i = 0; i < 10; i++) {
        bigEndian(xdr, 0xc000000000000000ull + i, 8);
        littleEndian(file, 0xc000000000000000ull + i, 8);
    }
}

TEST(FieldRuns, WritesBothFormsByteForByte) {
    Sample s = sample();
    FieldRuns runs = runsOf(s);
    std::vector<unsigned char> xdr, file;
    sampleForms(xdr, file);
    ASSERT_EQ(runs.xdrBytes(), xdr.size());
    ASSERT_EQ(runs.fileBytes(), file.size());

    // One word of slack on each side shows that nothing is written outside.
    std::vector<uint32_t> words(xdr.size() / 4 + 2, 0x5a5a5a5a);
    uint32_t* end = runs.putXdr(&s, words.data() + 1);
    EXPECT_EQ(end, words.data() + 1 + xdr.size() / 4);
    EXPECT_EQ(words.front(), 0x5a5a5a5au);
    EXPECT_EQ(words.back(), 0x5a5a5a5au);
    EXPECT_EQ(0, memcmp(words.data() + 1, xdr.data(), xdr.size()));

    std::vector<unsigned char> bytes(file.size() + 2, 0x5a);
    unsigned char* fileEnd = runs.putFile(&s, bytes.data() + 1);
    EXPECT_EQ(fileEnd, bytes.data() + 1 + file.size());
    EXPECT_EQ(bytes.front(), 0x5a);
    EXPECT_EQ(bytes.back(), 0x5a);
    EXPECT_EQ(std::vector<unsigned char>(bytes.begin() + 1, bytes.end() - 1), file);
}

// Reading the XDR form back gives every listed value and leaves the field
// outside the list alone, through the value-by-value reader and the block
// reader alike; one word short, both fail on the last value.
TEST(FieldRuns, ReadsBackWhatItWrites) {
    const Sample want = sample();
    const FieldRuns runs = runsOf(want);
    std::vector<unsigned char> xdr, file;
    sampleForms(xdr, file);
    for (int reader = 0; reader < 2; reader++) {
        for (size_t cut : {size_t(0), size_t(4)}) {
            XDR x;
            xdrmem_create(&x, reinterpret_cast<char*>(xdr.data()),
                          static_cast<u_int>(xdr.size() - cut), XDR_DECODE);
            XdrDeserializer plain(&x);
            XdrWordReader blocks(&x);
            Deserializer& d = reader == 0 ? static_cast<Deserializer&>(plain) : blocks;
            Sample got;
            memset(&got, 0, sizeof got);
            if (cut != 0) {
                EXPECT_THROW(d.readRuns(&got, runs), SerializationException) << reader;
                xdr_destroy(&x);
                continue;
            }
            d.readRuns(&got, runs);
            EXPECT_EQ(got.a, want.a);
            EXPECT_EQ(got.b, want.b);
            EXPECT_EQ(got.c, want.c);
            EXPECT_EQ(got.d, want.d);
            EXPECT_EQ(got.e, want.e);
            EXPECT_EQ(got.f, want.f);
            EXPECT_EQ(got.f2, want.f2);
            EXPECT_EQ(got.g, want.g);
            EXPECT_EQ(got.notListed, 0u);
            EXPECT_EQ(0, memcmp(got.h, want.h, sizeof got.h));
            for (int i = 0; i < 5; i++) {
                EXPECT_EQ(got.p[i].succeeded, want.p[i].succeeded) << reader << " " << i;
                EXPECT_EQ(got.p[i].failed, want.p[i].failed) << reader << " " << i;
            }
            xdr_destroy(&x);
        }
    }
}

namespace {

// A record of two samples behind two single fields, as a record's plan sees
// it: `x` and `y` join the first sample's leading 32-bit run.
struct Outer {
    uint32_t x;
    uint32_t y;
    Sample first;
    uint32_t z;
    uint32_t w;
    Sample second;
};

// Puts the record's fields through any writer: value by value, or gathered
// into one plan by putPlanned.
template <class S>
void putOuter(S& s, const Outer& o) {
    auto fields = [&o](auto& s) {
        fieldcodec::putField(s, o.x);
        fieldcodec::putField(s, o.y);
        {
            auto& sub = o.first;
            TOLM_PUT_FIELDS(SAMPLE_FIELDS);
        }
        fieldcodec::putField(s, o.z);
        fieldcodec::putField(s, o.w);
        {
            auto& sub = o.second;
            TOLM_PUT_FIELDS(SAMPLE_FIELDS);
        }
    };
    fieldcodec::putPlanned(s, &o, fields);
}

}  // namespace

// A record's plan joins runs across its single fields and sub-structs where
// they lie next to each other, and writes the same bytes as the fields one by
// one: the sample's form twice, each behind its own words.
TEST(FieldRuns, RecordPlanJoinsAcrossParts) {
    Outer o;
    memset(&o, 0, sizeof o);
    o.x = 0x01000002;
    o.y = 0xfffffff0;
    o.first = sample();
    o.z = 0x7f000001;
    o.w = 0x80;
    o.second = sample();
    o.second.h[19] = 0x12345678;

    fieldcodec::RunPlanner planner(&o);
    auto same = [&o](auto& s) { putOuter(s, o); };
    same(planner);
    const auto& runs = planner.plan.runs();
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs[0].offset, 0u);
    EXPECT_EQ(runs[0].count, 4u);  // x, y and the first sample's a, b
    EXPECT_EQ(runs[0].kind, FieldRuns::Kind::Words32);
    size_t zAt = offsetof(Outer, z);
    auto z = std::find_if(runs.begin(), runs.end(),
                          [&](const FieldRuns::Run& r) { return r.offset == zAt; });
    ASSERT_NE(z, runs.end());
    EXPECT_EQ(z->count, 4u) << "z, w and the second sample's a, b lie next to each other";
    EXPECT_EQ(z->kind, FieldRuns::Kind::Words32);

    std::vector<unsigned char> xdr, file, sampleXdr, sampleFile;
    sampleForms(sampleXdr, sampleFile);
    bigEndian(xdr, o.x, 4);
    bigEndian(xdr, o.y, 4);
    xdr.insert(xdr.end(), sampleXdr.begin(), sampleXdr.end());
    bigEndian(xdr, o.z, 4);
    bigEndian(xdr, o.w, 4);
    xdr.insert(xdr.end(), sampleXdr.begin(), sampleXdr.end());
    // The second sample's last array entry differs.
    size_t lastH = xdr.size() - 80 - 4;
    xdr[lastH] = 0x12, xdr[lastH + 1] = 0x34, xdr[lastH + 2] = 0x56, xdr[lastH + 3] = 0x78;
    ASSERT_EQ(planner.plan.xdrBytes(), xdr.size());

    XdrBuffer buffer;
    buffer.append(same);
    ASSERT_EQ(buffer.size(), xdr.size());
    EXPECT_EQ(std::vector<unsigned char>(buffer.data(), buffer.data() + buffer.size()), xdr);
    // Twice, as the plan is made on the first record and kept.
    buffer.clear();
    buffer.append(same);
    EXPECT_EQ(std::vector<unsigned char>(buffer.data(), buffer.data() + buffer.size()), xdr);

    // Through the value-by-value serializer, which takes no runs.
    std::vector<unsigned char> plain(xdr.size() + 64);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(plain.data()), static_cast<u_int>(plain.size()),
                  XDR_ENCODE);
    XdrSerializer s(&x);
    putOuter(static_cast<Serializer&>(s), o);
    plain.resize(xdr_getpos(&x));
    xdr_destroy(&x);
    EXPECT_EQ(plain, xdr);
}

namespace {

// Structs that are their values in place (no gap, no 16-bit value) of one
// block and less (4 and 24 bytes), of two (48) and of ten (312, a volume's
// size), each behind 8 bytes of something else.
template <size_t N32, size_t N64>
struct Flat {
    uint64_t before;
    uint32_t w[N32];
    uint64_t v[N64];
};

template <size_t N32, size_t N64>
FieldRuns flatPlan() {
    FieldRuns plan;
    plan.add(0, N32, FieldRuns::Kind::Words32);
    if (N64 > 0)
        plan.add(4 * N32, N64, FieldRuns::Kind::Words64);
    return plan;
}

// Writes 0 to 9 structs, each its own allocation, into a buffer with marks
// before and after, and checks them against their values written out by
// hand; the marks must stay.
template <size_t N32, size_t N64>
void checkEach() {
    static_assert(N32 % 2 == 0 || N64 == 0, "values at their own alignment");
    const FieldRuns plan = flatPlan<N32, N64>();
    const size_t bytes = 4 * N32 + 8 * N64;
    ASSERT_EQ(plan.xdrBytes(), bytes);
    for (size_t count = 0; count <= 9; count++) {
        std::vector<Flat<N32, N64>*> items;
        std::vector<unsigned char> expected;
        for (size_t i = 0; i < count; i++) {
            auto* item = new Flat<N32, N64>();
            item->before = 0x5555555555555555ull;
            for (size_t k = 0; k < N32; k++) {
                item->w[k] = static_cast<uint32_t>(0x80a0c0e0u + 0x01010101u * (i * 16 + k));
                bigEndian(expected, item->w[k], 4);
            }
            for (size_t k = 0; k < N64; k++) {
                item->v[k] = 0xf1e2d3c4b5a69788ull - 0x0101010101010101ull * (i * 64 + k);
                bigEndian(expected, item->v[k], 8);
            }
            items.push_back(item);
        }
        const size_t words = count * bytes / 4;
        std::vector<uint32_t> out(words + 16, 0xdeadbeefu);
        uint32_t* end =
            plan.putEachXdr(out.data() + 8, reinterpret_cast<const void* const*>(items.data()),
                            count, sizeof(uint64_t));
        EXPECT_EQ(end, out.data() + 8 + words) << bytes << " bytes, " << count << " structs";
        std::vector<unsigned char> got(reinterpret_cast<unsigned char*>(out.data() + 8),
                                       reinterpret_cast<unsigned char*>(out.data() + 8 + words));
        EXPECT_EQ(got, expected) << bytes << " bytes, " << count << " structs";
        for (size_t k = 0; k < 8; k++) {
            EXPECT_EQ(out[k], 0xdeadbeefu) << "before, " << bytes << " bytes, " << count;
            EXPECT_EQ(out[8 + words + k], 0xdeadbeefu) << "after, " << bytes << " bytes, " << count;
        }
        for (auto* item : items)
            delete item;
    }
}

}  // namespace

// Many structs of one plan at once: the same bytes as each struct's values
// in XDR order, nothing written before or after them, whatever their size and
// count; a plan that is not in place (padding, a 16-bit value) the same as
// its runs struct by struct.
TEST(FieldRuns, EachStructOfAPlanAsItsValues) {
    checkEach<1, 0>();
    checkEach<6, 0>();
    checkEach<8, 0>();
    checkEach<2, 5>();
    checkEach<2, 38>();

    const Sample one = sample();
    Sample two = sample();
    two.f = 0x1234;
    two.h[7] = 0xffffffffu;
    const Sample* items[3] = {&one, &two, &one};
    const FieldRuns runs = runsOf(one);
    std::vector<uint32_t> each(3 * runs.xdrBytes() / 4 + 4, 0xdeadbeefu);
    std::vector<uint32_t> byOne(each.size(), 0xdeadbeefu);
    EXPECT_EQ(runs.putEachXdr(each.data(), reinterpret_cast<const void* const*>(items), 3, 0),
              each.data() + 3 * runs.xdrBytes() / 4);
    uint32_t* at = byOne.data();
    for (const Sample* s : items)
        at = runs.putXdr(s, at);
    EXPECT_EQ(each, byOne);
}
