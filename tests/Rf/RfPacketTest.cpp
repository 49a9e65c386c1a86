// Packet buffer boundaries, copies and their fatal checks.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "RfUserPthread.h"

namespace {

class RfPacketTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(RfUser_createUDPEndPoint(0, &_endp), 0); }
    void TearDown() override { RfUser_destroyUDPEndPoint(_endp); }

    static void expectInvariant(const RfPacket* p) {
        EXPECT_EQ(p->hdrSize + p->size + p->tailSize, RF_PACKET_AREA_SIZE);
        EXPECT_EQ(p->datap, p->adatap + p->hdrSize);
    }

    RfPacket* filled(const std::vector<uint8_t>& bytes) {
        RfPacket* p = RfUser_allocPacket(_endp);
        nbuf_addIov(p, bytes.data(), static_cast<int32_t>(bytes.size()));
        return p;
    }

    RfUserEndPoint* _endp = nullptr;
};

std::vector<uint8_t> counting(int n) {
    std::vector<uint8_t> v(n);
    for (int i = 0; i < n; i++) {
        v[i] = static_cast<uint8_t>(i * 7 + 1);
    }
    return v;
}

TEST_F(RfPacketTest, BoundariesMoveAndKeepTheInvariant) {
    RfPacket* p = RfUser_allocPacket(_endp);
    EXPECT_EQ(p->hdrSize, 128);
    EXPECT_EQ(p->size, 0);
    EXPECT_EQ(p->tailSize, 9000);
    EXPECT_EQ(p->refs, 1);
    uint8_t* endp = nbuf_addTrailer(p, 9000);  // exactly the whole data room
    EXPECT_EQ(endp, p->adatap + 128);
    EXPECT_EQ(p->tailSize, 0);
    expectInvariant(p);
    EXPECT_EQ(nbuf_remTrailer(p, 1000), p->datap + 8000);
    uint8_t* headp = nbuf_addHeader(p, 128);  // exactly the whole header room
    EXPECT_EQ(headp, p->adatap);
    EXPECT_EQ(p->hdrSize, 0);
    EXPECT_EQ(p->size, 8128);
    expectInvariant(p);
    EXPECT_EQ(nbuf_remHeader(p, 28), p->adatap);
    EXPECT_EQ(p->datap, p->adatap + 28);
    EXPECT_EQ(p->size, 8100);
    expectInvariant(p);
    Rf_freePacket(p);

    // A recycled packet comes back with fresh boundaries.
    RfPacket* q = RfUser_allocPacket(_endp);
    EXPECT_EQ(q, p);
    EXPECT_EQ(q->hdrSize, 128);
    EXPECT_EQ(q->size, 0);
    EXPECT_EQ(q->refs, 1);
    expectInvariant(q);
    // A second reference keeps it out of the free list until both are dropped.
    int32_t before = RfUser_getSkbCount();
    RfUser_incPacketRefCount(q);
    Rf_freePacket(q);
    EXPECT_EQ(RfUser_getSkbCount(), before);
    RfPacket* other = RfUser_allocPacket(_endp);
    EXPECT_NE(other, q);
    Rf_freePacket(q);
    EXPECT_EQ(RfUser_getSkbCount(), before);  // q went back, other is out
    Rf_freePacket(other);
    EXPECT_EQ(RfUser_getSkbCount(), before - 1);
}

TEST_F(RfPacketTest, CopiesOutAndIn) {
    std::vector<uint8_t> src = counting(100);
    RfPacket* p = filled(src);
    uint8_t out[200];

    memset(out, 0, sizeof out);
    EXPECT_EQ(nbuf_copyDataNoPop(out, p, 10), 10);
    EXPECT_EQ(0, memcmp(out, src.data(), 10));
    EXPECT_EQ(p->size, 100);
    nbuf_copyDataNoPopAtOffset(out, p, 90, 10);
    EXPECT_EQ(0, memcmp(out, src.data() + 90, 10));
    EXPECT_EQ(p->size, 100);

    EXPECT_EQ(nbuf_copyData(out, p, 30), 30);
    EXPECT_EQ(0, memcmp(out, src.data(), 30));
    EXPECT_EQ(p->size, 70);
    EXPECT_EQ(p->datap[0], src[30]);
    expectInvariant(p);
    // More than there is: what is left, and the packet ends empty.
    memset(out, 0, sizeof out);
    EXPECT_EQ(nbuf_copyData(out, p, 200), 70);
    EXPECT_EQ(0, memcmp(out, src.data() + 30, 70));
    EXPECT_EQ(p->size, 0);
    EXPECT_EQ(out[70], 0);
    expectInvariant(p);
    Rf_freePacket(p);

    // Pieces of at least 32 bytes are appended, smaller ones are left to the caller.
    RfPacket* s = filled(src);
    RfPacket* d = filled({0xEE});
    EXPECT_EQ(nbuf_copyIovNoPop(d, s, 5, 31), 0);
    EXPECT_EQ(d->size, 1);
    EXPECT_EQ(nbuf_copyIovNoPop(d, s, 5, 32), 32);
    EXPECT_EQ(d->size, 33);
    EXPECT_EQ(d->datap[0], 0xEE);
    EXPECT_EQ(0, memcmp(d->datap + 1, src.data() + 5, 32));
    EXPECT_EQ(s->size, 100);

    // pullUp replaces the destination's data; clonePacket takes the tail from an offset.
    nbuf_pullUp(d, s);
    EXPECT_EQ(d->size, 100);
    EXPECT_EQ(0, memcmp(d->datap, src.data(), 100));
    expectInvariant(d);
    nbuf_clonePacket(d, s, 60);
    EXPECT_EQ(d->size, 40);
    EXPECT_EQ(0, memcmp(d->datap, src.data() + 60, 40));
    expectInvariant(d);

    // Unsigned comparison of the leading bytes.
    RfPacket* c = filled({0x10, 0x80, 0x7F});
    const uint8_t same[] = {0x10, 0x80, 0x7F};
    const uint8_t lower[] = {0x10, 0x7F, 0xFF};
    const uint8_t higher[] = {0x10, 0x81, 0x00};
    EXPECT_EQ(nbuf_strncmp(same, c, 3), 0);
    EXPECT_EQ(nbuf_strncmp(lower, c, 3), -1);
    EXPECT_EQ(nbuf_strncmp(higher, c, 3), 1);
    EXPECT_EQ(nbuf_strncmp(higher, c, 1), 0);
    EXPECT_EQ(nbuf_strncmp(higher, c, 0), 0);
    EXPECT_EQ(nbuf_strncmp(same, c, 4), -1);  // longer than the data
    Rf_freePacket(c);
    Rf_freePacket(s);
    Rf_freePacket(d);
}

using RfPacketDeathTest = RfPacketTest;

TEST_F(RfPacketDeathTest, MisuseFailsItsCheck) {
    RfPacket* p = RfUser_allocPacket(_endp);
    EXPECT_DEATH(nbuf_addTrailer(p, 9001), "p->tailSize >= size");
    EXPECT_DEATH(nbuf_addHeader(p, 129), "p->hdrSize >= size");
    EXPECT_DEATH(nbuf_remHeader(p, 1), "p->size >= 0");
    EXPECT_DEATH(nbuf_remTrailer(p, 1), "p->size >= 0");
    nbuf_addTrailer(p, 40);
    uint8_t out[64];
    EXPECT_DEATH(nbuf_copyDataNoPopAtOffset(out, p, 30, 11), "\\(offset \\+ len\\) <= reqp->size");
    RfPacket* d = RfUser_allocPacket(_endp);
    EXPECT_DEATH(nbuf_copyIovNoPop(d, p, 10, 32), "srcp->size >= offset \\+ len");
    Rf_freePacket(d);
    Rf_freePacket(p);
}

}  // namespace
