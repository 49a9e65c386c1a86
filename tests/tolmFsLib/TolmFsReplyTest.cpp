// The reply codec by form, on replies written out by hand: where each form
// ends, what it takes from the status word, and the limits it keeps.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "TolmFsOp.h"
#include "TolmFsReply.h"

namespace {

using Bytes = std::vector<uint8_t>;
using F = TolmFsReplyForm;

void word(Bytes& b, uint32_t w) {
    for (int i = 0; i < 4; i++)
        b.push_back(static_cast<uint8_t>(w >> (8 * i)));
}

// A status word and 15 words of attributes (the first one 0x02000007: file
// type 2, uniquifier 7), then `more` bytes of 0xAB.
Bytes reply(uint32_t status, size_t more) {
    Bytes b;
    word(b, status);
    word(b, 0x02000007);
    for (int i = 1; i < 15; i++)
        word(b, 0);
    b.insert(b.end(), more, 0xAB);
    return b;
}

bool decode(F form, const Bytes& b, TolmFsReplyData* d) {
    return TolmFsReply::decode(form, b.data(), b.size(), d);
}

TEST(TolmFsReply, EachFormTakesItsFieldsAndKeepsItsLimits) {
    TolmFsReplyData d;
    // Directory segments: every byte after the first 64, whatever the count
    // says; whole 2048-byte segments, at most 9216 bytes.
    ASSERT_TRUE(decode(F::DirSegments, reply(4u << 8, 4 * 2048), &d));
    EXPECT_EQ(8192u, d.dataLength);
    EXPECT_EQ(7u, d.attr.uniquifier);
    EXPECT_EQ(2u, d.attr.filetype);
    ASSERT_TRUE(decode(F::DirSegments, reply(8192u << 8, 4 * 2048), &d));
    EXPECT_EQ(8192u, d.dataLength);
    ASSERT_TRUE(decode(F::DirSegments, reply(0x20, 0), &d)) << "the end alone";
    EXPECT_EQ(0u, d.dataLength);
    EXPECT_FALSE(decode(F::DirSegments, reply(1u << 8, 2047), &d));
    EXPECT_FALSE(decode(F::DirSegments, reply(5u << 8, 5 * 2048), &d));
    EXPECT_FALSE(decode(F::DirSegments, Bytes(60, 0), &d)) << "cut in the attributes";

    // Data: the status's count of bytes after the attributes.
    Bytes data = reply(3u << 8 | 0x20, 5);
    ASSERT_TRUE(decode(F::Data, data, &d));
    EXPECT_EQ(3u, d.dataLength);
    EXPECT_EQ(0xAB, d.data[2]);
    EXPECT_FALSE(decode(F::Data, reply(6u << 8, 5), &d));

    // A failure is a status alone, but for a lookup.
    ASSERT_TRUE(decode(F::Attr, Bytes{0x01, 0x01, 0x01, 0x00}, &d));
    EXPECT_EQ(0x10101u, d.status);
    EXPECT_FALSE(decode(F::Lookup, Bytes{0x01, 0x01, 0x01, 0x00}, &d));

    // Replies whose layout the D-blade chooses: attributes when they come,
    // the status alone as well.
    ASSERT_TRUE(decode(F::AttrIfAny, reply(0, 0), &d));
    EXPECT_EQ(2u, d.attr.filetype);
    ASSERT_TRUE(decode(F::AttrIfAny, Bytes{0, 0, 0, 0}, &d));
    EXPECT_EQ(0u, d.attr.filetype);
    EXPECT_FALSE(decode(F::Attr, Bytes{0, 0, 0, 0}, &d));

    // Lookup: fid, attributes, a counted text padded to 4 bytes.
    Bytes lookup;
    word(lookup, 0x10101);  // 257: a symbolic link
    word(lookup, 100);
    word(lookup, 1234);
    word(lookup, 1);
    for (int i = 0; i < 15; i++)
        word(lookup, 0);
    word(lookup, 5);
    for (char c : std::string("a/b/c\0\0\0", 8))
        lookup.push_back(static_cast<uint8_t>(c));
    ASSERT_TRUE(decode(F::Lookup, lookup, &d));
    EXPECT_EQ(1234u, d.fid.vnode);
    EXPECT_EQ("a/b/c", d.text);
    lookup.resize(lookup.size() - 1);
    EXPECT_FALSE(decode(F::Lookup, lookup, &d)) << "the padding cut short";

    // Mount point: the VFS name fits 127 characters.
    for (size_t n : {127u, 128u}) {
        Bytes mp = reply(0, 0);
        word(mp, 27);
        word(mp, 0);
        word(mp, static_cast<uint32_t>(n));
        mp.insert(mp.end(), (n + 3) & ~3u, 'v');
        EXPECT_EQ(n == 127, decode(F::MountPoint, mp, &d)) << n;
    }

    // New object: one word, the fid, the attributes.
    Bytes made;
    word(made, 0);
    word(made, 0);
    word(made, 100);
    word(made, 2000);
    word(made, 1);
    Bytes attrs = reply(0, 0);
    made.insert(made.end(), attrs.begin() + 4, attrs.end());
    ASSERT_TRUE(decode(F::NewObject, made, &d));
    EXPECT_EQ(2000u, d.fid.vnode);
    EXPECT_EQ(2u, d.attr.filetype);
    made.pop_back();
    EXPECT_FALSE(decode(F::NewObject, made, &d));
}

}  // namespace
