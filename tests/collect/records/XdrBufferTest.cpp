// The whole-record encoders give byte for byte what the value-by-value
// serializers give (XdrBuffer as XdrSerializer, FileBuffer as FileSerializer), for random records
// of all five types: counters above 2^31 and 2^32, signed values below zero, names of every padding
// length (bytes above 0x7f among them), pools and volumes with and without their counters, empty
// and long lists. The record routines of the replies, which use it, give the presence word and the
// same bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "FileBuffer.h"
#include "RecordTestUtil.h"
#include "RecordXdr.h"
#include "XdrBuffer.h"

namespace {

// What `body` writes through XdrBuffer::append (it runs twice: counting,
// then writing).
template <typename F>
Bytes xdrBufferBytes(F body) {
    XdrBuffer b;
    b.append(body);
    return Bytes(b.data(), b.data() + b.size());
}

template <typename F>
Bytes fileBufferBytes(F body) {
    FileBuffer b;
    body(b);
    return Bytes(b.data(), b.data() + b.size());
}

// The bytes of a reply routine on a memory stream.
template <typename R>
Bytes routineBytes(bool_t (*routine)(XDR*, R*), R* rec) {
    Bytes buf(1 << 22);
    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(buf.data()), static_cast<u_int>(buf.size()),
                  XDR_ENCODE);
    EXPECT_TRUE(routine(&x, rec));
    buf.resize(xdr_getpos(&x));
    xdr_destroy(&x);
    return buf;
}

Bytes presentThen(const Bytes& b) {
    Bytes out(4 + b.size(), 0);
    out[3] = 1;
    std::copy(b.begin(), b.end(), out.begin() + 4);
    return out;
}

// One value of each width and a buffer with a byte above 0x7f, through any
// writer with Serializer's calls.
template <typename S>
void writeEachWidth(S& s) {
    static const unsigned char bytes[] = {'A', 0xe9, 0};
    s.write8(0xab);
    s.write16(0xbeef);
    s.write32(0x89abcdefu);
    s.write64(0x0102030485060708ull);
    s.writeBuffer(bytes, 3);
}

}  // namespace

TEST(XdrBufferTest, FileFormValuesAtTheirOwnWidths) {
    // clang-format off
    const Bytes expected = {
        0xab,                                            // write8
        0xef, 0xbe,                                      // write16
        0xef, 0xcd, 0xab, 0x89,                          // write32
        0x08, 0x07, 0x06, 0x85, 0x04, 0x03, 0x02, 0x01,  // write64
        'A', 0xe9, 0x00,                                 // buffer
    };
    // clang-format on
    auto body = [](auto& s) { writeEachWidth(s); };
    EXPECT_EQ(expected, fileBufferBytes(body));
    ScratchDir dir;
    EXPECT_EQ(expected, fileBytes(dir, [&](Serializer& s) { body(s); }));
}

TEST(XdrBufferTest, ValuesAsTheXdrStreamWritesThem) {
    // clang-format off
    const Bytes expected = {
        0x00, 0x00, 0x00, 0xab,                          // write8
        0x00, 0x00, 0xbe, 0xef,                          // write16
        0x89, 0xab, 0xcd, 0xef,                          // write32
        0x01, 0x02, 0x03, 0x04, 0x85, 0x06, 0x07, 0x08,  // write64
        0x00, 0x00, 0x00, 0x41,                          // 'A'
        0xff, 0xff, 0xff, 0xe9,                          // 0xe9, a signed char
        0x00, 0x00, 0x00, 0x00,                          // 0
    };
    // clang-format on
    auto body = [](auto& s) { writeEachWidth(s); };
    EXPECT_EQ(expected, xdrBufferBytes(body));
    EXPECT_EQ(expected, xdrBytes([&](Serializer& s) { body(s); }));
    // Past the first room (1024 words): the buffer grows and keeps what it
    // holds; a second append goes after the first; clear empties it.
    XdrBuffer b;
    b.append(body);
    b.append([](auto& s) {
        for (uint32_t i = 0; i < 5000; i++)
            s.write32(i);
    });
    ASSERT_EQ(expected.size() + 20000u, b.size());
    EXPECT_EQ(expected, Bytes(b.data(), b.data() + expected.size()));
    EXPECT_EQ(0x00, b.data()[expected.size() + 4 * 4999]);
    EXPECT_EQ(0x87, b.data()[expected.size() + 4 * 4999 + 3]);  // 4999 = 0x1387
    b.clear();
    EXPECT_EQ(0u, b.size());

    // Blocks of 32-bit values, two at a time and an odd one last, each value
    // big-endian in its own word and in its own place.
    const uint32_t block[5] = {0x01020304, 0x80000005, 0xa0b0c0d0, 0x00000007, 0xfffffffe};
    b.append([&](auto& s) {
        if constexpr (fieldcodec::TakesWords32<std::decay_t<decltype(s)>>::value) {
            s.template putWords32<4>(block);
            s.template putWords32<1>(block + 4);
            s.template putWords32<5>(block);
        } else {
            for (int i = 0; i < 10; i++)
                s.write32(0);  // the counting pass
        }
    });
    // clang-format off
    const Bytes words = {
        0x01, 0x02, 0x03, 0x04,  0x80, 0x00, 0x00, 0x05,  0xa0, 0xb0, 0xc0, 0xd0,
        0x00, 0x00, 0x00, 0x07,  0xff, 0xff, 0xff, 0xfe};
    // clang-format on
    Bytes twice = words;
    twice.insert(twice.end(), words.begin(), words.end());
    EXPECT_EQ(twice, Bytes(b.data(), b.data() + b.size()));
}

TEST(XdrBufferTest, EveryRecordTypeAsValueByValue) {
    for (unsigned seed = 1; seed <= 8; seed++) {
        Filler f(seed);
        NbladeStats nb;
        fillNblade(nb, f);
        EXPECT_EQ(xdrBytes([&](Serializer& s) { nb.serialize(s, 0xffffffffu); }),
                  xdrBufferBytes([&](auto& s) { nb.serializeTo(s, 0xffffffffu); }));
        EXPECT_EQ(presentThen(xdrBytes([&](Serializer& s) { nb.serialize(s, 0xffffffffu); })),
                  routineBytes(xdr_NbladeStats, &nb));
        ScratchDir dir;
        DbladeStats db;
        fillDblade(db, f);
        db.data.rf.rxAcks = -1;
        EXPECT_EQ(presentThen(xdrBytes([&](Serializer& s) { db.serialize(s, 0xffffffffu); })),
                  routineBytes(xdr_DbladeStats, &db));
        // A whole record goes out as one plan and any other mask part by part:
        // every member's bit and no more, all but one, one in two, and a
        // partial mask after whole ones.
        auto bothForms = [&](auto& rec, unsigned mask) {
            EXPECT_EQ(xdrBytes([&](Serializer& s) { rec.serialize(s, mask); }),
                      xdrBufferBytes([&](auto& s) { rec.serializeTo(s, mask); }))
                << std::hex << mask;
            EXPECT_EQ(fileBytes(dir, [&](Serializer& s) { rec.serialize(s, mask); }),
                      fileBufferBytes([&](FileBuffer& s) { rec.serializeTo(s, mask); }))
                << std::hex << mask;
        };
        for (unsigned mask : {0xffffffffu, 0x0007ffffu, 0x0000ffffu, 0x00077fffu, 0x00007fffu,
                              0x5a5a5a5au, 0xfffffffeu}) {
            bothForms(nb, mask);
            bothForms(db, mask);
        }

        MgmtProcStats mgmt;
        fillMgmt(mgmt, f);
        EXPECT_EQ(presentThen(xdrBytes([&](Serializer& s) { mgmt.serialize(s, 0xffffffffu); })),
                  routineBytes(xdr_MgmtProcStats, &mgmt));
        EXPECT_EQ(fileBytes(dir, [&](Serializer& s) { mgmt.serialize(s, 0); }),
                  fileBufferBytes([&](FileBuffer& s) { mgmt.serializeTo(s, 0); }));

        // Names of 0 to 8 bytes (every padding), one with bytes above 0x7f;
        // volumes from none to many.
        LpStatsSet set;
        fillLpSetData(set, f);
        for (int len = 0; len <= 8; len++) {
            std::string name(static_cast<size_t>(len), static_cast<char>('a' + len));
            if (len == 5)
                name = "\xe9\xff\x80pq";
            set.addLpStats(makeLp(f, name, len == 3 ? 40 : len % 3));
        }
        EXPECT_EQ(presentThen(xdrBytes([&](Serializer& s) { set.serialize(s); }, 1 << 22)),
                  routineBytes(xdr_LpStatsSet, &set));
        // The counting pass (which takes every volume at its one size) makes
        // room for exactly the bytes written.
        XdrBuffer::Counter counted;
        set.serializeTo(counted);
        EXPECT_EQ(4 * counted.words,
                  xdrBytes([&](Serializer& s) { set.serialize(s); }, 1 << 22).size());
        EXPECT_EQ(fileBytes(dir, [&](Serializer& s) { set.serialize(s); }),
                  fileBufferBytes([&](FileBuffer& s) { set.serializeTo(s); }));
        LpStatsSet empty;
        fillLpSetData(empty, f);
        EXPECT_EQ(presentThen(xdrBytes([&](Serializer& s) { empty.serialize(s); })),
                  routineBytes(xdr_LpStatsSet, &empty));

        FcdStats fcd;
        fillFcdData(fcd, f);
        for (unsigned i = 0; i < seed * 8; i++)
            fcd.addDiskStats(makeDisk(f));
        EXPECT_EQ(presentThen(xdrBytes([&](Serializer& s) { fcd.serialize(s); })),
                  routineBytes(xdr_FcdStats, &fcd));
        EXPECT_EQ(fileBytes(dir, [&](Serializer& s) { fcd.serialize(s); }),
                  fileBufferBytes([&](FileBuffer& s) { fcd.serializeTo(s); }));
    }
    // An absent record is the presence word alone.
    EXPECT_EQ((Bytes{0, 0, 0, 0}), routineBytes<NbladeStats>(xdr_NbladeStats, nullptr));
}
