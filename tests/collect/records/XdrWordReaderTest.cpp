// XdrWordReader reads what XdrDeserializer reads, on a memory stream and on a
// record stream cut into small fragments and small buffers (so that runs end
// at fragment and buffer edges and words straddle them), for records of every
// type one after another; it fails where XdrDeserializer fails, with the same
// message.

#include <gtest/gtest.h>

#include <string>

#include "RecordTestUtil.h"
#include "SerializationException.h"
#include "XdrWordReader.h"

namespace {

// A record stream over memory: what one stream writes, another reads.
struct Pipe {
    std::string bytes;
    size_t readAt = 0;
    static int write(void* self, void* buf, int len) {
        static_cast<Pipe*>(self)->bytes.append(static_cast<char*>(buf), static_cast<size_t>(len));
        return len;
    }
    static int read(void* self, void* buf, int len) {
        Pipe* p = static_cast<Pipe*>(self);
        size_t n = std::min(static_cast<size_t>(len), p->bytes.size() - p->readAt);
        if (n == 0)
            return -1;
        // Short reads, as a socket gives them.
        n = std::min<size_t>(n, 37);
        memcpy(buf, p->bytes.data() + p->readAt, n);
        p->readAt += n;
        return static_cast<int>(n);
    }
};

struct Records {
    NbladeStats nb;
    DbladeStats db;
    LpStatsSet lp;
    FcdStats fcd;
    MgmtProcStats mgmt;
    explicit Records(unsigned seed) {
        Filler f(seed);
        fillNblade(nb, f);
        fillDblade(db, f);
        fillLpSetData(lp, f);
        lp.addLpStats(makeLp(f, "pool\xe9", 3));
        lp.addLpStats(makeLp(f, "", 0));
        fillFcdData(fcd, f);
        for (int i = 0; i < 5; i++)
            fcd.addDiskStats(makeDisk(f));
        fillMgmt(mgmt, f);
    }
    void write(Serializer& s) {
        nb.serialize(s, 0xffffffffu);
        db.serialize(s, 0xffffffffu);
        lp.serialize(s);
        fcd.serialize(s);
        mgmt.serialize(s, 0xffffffffu);
        s.write8(0xfe);
        s.write16(0xfedc);
        s.write64(0x0123456789abcdefull);
    }
};

// Reads the records back with `d` and writes them again as file bytes, so
// that two readers can be compared byte for byte.
Bytes readBack(Deserializer& d, const ScratchDir& dir) {
    NbladeStats nb;
    DbladeStats db;
    LpStatsSet lp;
    FcdStats fcd;
    MgmtProcStats mgmt;
    nb.deserialize(d);
    db.deserialize(d);
    lp.deserialize(d);
    fcd.deserialize(d);
    mgmt.deserialize(d);
    unsigned char b = d.read8();
    unsigned short h = d.read16();
    unsigned long long w = d.read64();
    return fileBytes(dir, [&](Serializer& s) {
        nb.serialize(s, 0xffffffffu);
        db.serialize(s, 0xffffffffu);
        lp.serialize(s);
        fcd.serialize(s);
        mgmt.serialize(s, 0xffffffffu);
        s.write8(b);
        s.write16(h);
        s.write64(w);
    });
}

std::string failureOf(Deserializer& d, int reads) {
    try {
        for (int i = 0; i < reads; i++)
            d.read32();
        d.read64();
    } catch (SerializationException& e) {
        return e.msg;
    }
    return "";
}

}  // namespace

TEST(XdrWordReaderTest, SameValuesAsXdrDeserializerOnMemoryAndRecordStreams) {
    ScratchDir dir;
    for (unsigned seed = 1; seed <= 4; seed++) {
        Records recs(seed);
        Bytes expected = fileBytes(dir, [&](Serializer& s) { recs.write(s); });
        Bytes x = xdrBytes([&](Serializer& s) { recs.write(s); });

        XDR m;
        xdrmem_create(&m, reinterpret_cast<char*>(x.data()), static_cast<u_int>(x.size()),
                      XDR_DECODE);
        XdrWordReader r(&m);
        EXPECT_EQ(expected, readBack(r, dir)) << "memory stream, seed " << seed;
        xdr_destroy(&m);

        // Fragments of about 100 bytes, a receive buffer of about 100.
        Pipe pipe;
        XDR out;
        xdrrec_create(&out, 100, 100, reinterpret_cast<char*>(&pipe), Pipe::read, Pipe::write);
        out.x_op = XDR_ENCODE;
        {
            XdrSerializer s(&out);
            recs.write(s);
        }
        ASSERT_TRUE(xdrrec_endofrecord(&out, TRUE));
        xdr_destroy(&out);
        ASSERT_GT(pipe.bytes.size(), x.size() + 4 * (x.size() / 100)) << "several fragments";
        for (int reader = 0; reader < 2; reader++) {
            pipe.readAt = 0;
            XDR in;
            xdrrec_create(&in, 100, 100, reinterpret_cast<char*>(&pipe), Pipe::read, Pipe::write);
            in.x_op = XDR_DECODE;
            ASSERT_TRUE(xdrrec_skiprecord(&in));
            XdrDeserializer plain(&in);
            XdrWordReader runs(&in);
            Deserializer& d = reader == 0 ? static_cast<Deserializer&>(plain) : runs;
            EXPECT_EQ(expected, readBack(d, dir)) << "record stream, reader " << reader;
            xdr_destroy(&in);
        }
    }
}

TEST(XdrWordReaderTest, FailsWhereXdrDeserializerFails) {
    // Five words: the fifth read32 succeeds, the read64 after it fails; four
    // and a half words would be the same to both (a partial word is no word).
    Bytes five(20, 0x11);
    for (int words : {0, 1, 4, 5}) {
        XDR a, b;
        xdrmem_create(&a, reinterpret_cast<char*>(five.data()), 20, XDR_DECODE);
        xdrmem_create(&b, reinterpret_cast<char*>(five.data()), 20, XDR_DECODE);
        XdrDeserializer plain(&a);
        XdrWordReader runs(&b);
        std::string expected = failureOf(plain, words);
        EXPECT_EQ(expected, failureOf(runs, words)) << words << " words first";
        EXPECT_EQ(words >= 4 ? "read64 failed" : "", expected);
        xdr_destroy(&a);
        xdr_destroy(&b);
    }
    Bytes three(12, 0);
    XDR m;
    xdrmem_create(&m, reinterpret_cast<char*>(three.data()), 12, XDR_DECODE);
    XdrWordReader r(&m);
    unsigned char buf[4];
    try {
        r.readBuffer(buf, 4);
        ADD_FAILURE() << "four bytes read from three words";
    } catch (SerializationException& e) {
        EXPECT_EQ("readBuffer failed", e.msg);
    }
    xdr_destroy(&m);
}
