#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

#include "FileDeserializer.h"
#include "FileSerializer.h"
#include "RecordTestUtil.h"
#include "RecordXdr.h"
#include "SerializationException.h"
#include "XdrDeserializer.h"
#include "XdrSerializer.h"

namespace {

std::string messageOf(const std::function<void()>& f, unsigned int* code = nullptr) {
    try {
        f();
    } catch (SerializationException& e) {
        if (code) *code = e.code;
        return e.msg;
    }
    return "<no exception>";
}

TEST(XdrSerializer, PrimitivesTakeFourByteUnitsBigEndian) {
    unsigned char one = 0xFF;
    unsigned char mixed[3] = {0x7F, 0x80, 0x01};
    Bytes b = xdrBytes([&](Serializer& s) {
        s.write8(0xFF);
        s.write16(0xBEEF);
        s.write32(0x01020304);
        s.write64(0x0102030405060708ull);
        s.writeBuffer(&one, 1);
        s.writeBuffer(mixed, 3);
    });
    Bytes expected = {0, 0, 0, 0xFF,  0, 0, 0xBE, 0xEF,  1, 2, 3, 4,  1, 2, 3, 4, 5, 6, 7, 8,
                      // each buffer byte is an XDR int of the byte as a signed char
                      0xFF, 0xFF, 0xFF, 0xFF,  0, 0, 0, 0x7F,  0xFF, 0xFF, 0xFF, 0x80,  0, 0, 0, 1};
    EXPECT_EQ(expected, b);

    XDR x;
    xdrmem_create(&x, reinterpret_cast<char*>(b.data()), b.size(), XDR_DECODE);
    XdrDeserializer d(&x);
    EXPECT_EQ(0xFF, d.read8());
    EXPECT_EQ(0xBEEF, d.read16());
    EXPECT_EQ(0x01020304u, d.read32());
    EXPECT_EQ(0x0102030405060708ull, d.read64());
    unsigned char back[4] = {};
    EXPECT_EQ(1u, d.readBuffer(back, 1));
    EXPECT_EQ(0xFF, back[0]);
    EXPECT_EQ(3u, d.readBuffer(back, 3));
    EXPECT_EQ(0, memcmp(back, mixed, 3));
    EXPECT_EQ("read32 failed", messageOf([&] { d.read32(); }));
    EXPECT_EQ("reset unsupported", messageOf([&] { d.reset(); }));
    xdr_destroy(&x);
}

TEST(XdrSerializer, FullStreamFailsWithTheOperationsMessage) {
    char room[8];
    XDR x;
    xdrmem_create(&x, room, sizeof room, XDR_ENCODE);
    XdrSerializer s(&x);
    s.write32(1);
    unsigned int code = 99;
    EXPECT_EQ("write64 failed", messageOf([&] { s.write64(1); }, &code));
    EXPECT_EQ(0u, code);
    xdr_destroy(&x);
    xdrmem_create(&x, room, 0, XDR_ENCODE);
    EXPECT_EQ("write32 failed", messageOf([&] { s.write32(1); }));
    EXPECT_EQ("write8 failed", messageOf([&] { s.write8(1); }));
    EXPECT_EQ("write16 failed", messageOf([&] { s.write16(1); }));
    unsigned char c = 0;
    EXPECT_EQ("writeBuffer failed", messageOf([&] { s.writeBuffer(&c, 1); }));
    xdr_destroy(&x);
}

TEST(FileSerializer, LittleEndianAtEachWidthAndBuffersAsTheyAre) {
    ScratchDir dir;
    unsigned char raw[3] = {0xAA, 0x00, 0xFF};
    Bytes b = fileBytes(dir, [&](Serializer& s) {
        s.write32(1);
        s.write64(1);
        s.write16(0x0102);
        s.write8(0xFE);
        s.write64(0x0102030405060708ull);
        s.writeBuffer(raw, 3);
    });
    Bytes expected = {1, 0, 0, 0,  1, 0, 0, 0, 0, 0, 0, 0,  2, 1,  0xFE,
                      8, 7, 6, 5, 4, 3, 2, 1,  0xAA, 0x00, 0xFF};
    EXPECT_EQ(expected, b);
}

TEST(FileSerializer, BufferBoundaryAndDirectWrites) {
    ScratchDir dir;
    std::string path = dir.file("big");
    // 4092 bytes buffered, then a buffer of exactly the free space (4) goes to
    // the file directly after a flush; then a value straddling nothing; then a
    // 10000-byte run larger than the whole buffer.
    Bytes big(10000);
    for (size_t i = 0; i < big.size(); i++) big[i] = static_cast<unsigned char>(i * 7);
    unsigned char four[4] = {9, 8, 7, 6};
    {
        FileSerializer s(path);
        for (int i = 0; i < 1023; i++) s.write32(static_cast<unsigned int>(i));
        s.writeBuffer(four, 4);
        s.write64(0x1122334455667788ull);
        s.writeBuffer(big.data(), static_cast<int>(big.size()));
        s.write8(0x5A);
    }
    Bytes b = readFile(path);
    ASSERT_EQ(4092u + 4 + 8 + 10000 + 1, b.size());
    for (int i = 0; i < 1023; i++) ASSERT_EQ(static_cast<uint32_t>(i), le32(b, 4 * i));
    EXPECT_EQ(Bytes(four, four + 4), Bytes(b.begin() + 4092, b.begin() + 4096));
    EXPECT_EQ(0x1122334455667788ull, le64(b, 4096));
    EXPECT_EQ(big, Bytes(b.begin() + 4104, b.begin() + 14104));
    EXPECT_EQ(0x5A, b.back());

    // Read it back through a 4096-byte buffer: the u64 at 4096 and values
    // on both sides of the boundary.
    FileDeserializer d(path, 4096);
    for (int i = 0; i < 1023; i++) ASSERT_EQ(static_cast<unsigned int>(i), d.read32());
    unsigned char back4[4];
    EXPECT_EQ(4u, d.readBuffer(back4, 4));
    EXPECT_EQ(0, memcmp(back4, four, 4));
    EXPECT_EQ(0x1122334455667788ull, d.read64());
    Bytes backBig(10000);
    EXPECT_EQ(10000u, d.readBuffer(backBig.data(), 10000));
    EXPECT_EQ(big, backBig);
    EXPECT_EQ(0x5A, d.read8());
    EXPECT_EQ("Read past EOF", messageOf([&] { d.read8(); }));
}

TEST(FileDeserializer, ValueStraddlingTheBufferEnd) {
    ScratchDir dir;
    std::string path = dir.file("straddle");
    {
        FileSerializer s(path);
        s.write8(0x11);
        s.write16(0x2233);
        for (int i = 0; i < 2000; i++) s.write64(0x0102030405060708ull * (i + 1));
    }
    // A 16-byte buffer puts a u64 across every refill.
    FileDeserializer d(path, 16);
    EXPECT_EQ(0x11, d.read8());
    EXPECT_EQ(0x2233, d.read16());
    for (int i = 0; i < 2000; i++) ASSERT_EQ(0x0102030405060708ull * (i + 1), d.read64());
    EXPECT_EQ("Read past EOF", messageOf([&] { d.read8(); }));
}

TEST(FileDeserializer, ShortReadsEofResetAndClose) {
    ScratchDir dir;
    std::string path = dir.file("short");
    writeFile(path, {1, 2, 3, 4, 5, 6, 7});

    FileDeserializer d(path, 4096);
    EXPECT_EQ(0x04030201u, d.read32());
    // 3 bytes left: a 32-bit read cannot be satisfied.
    EXPECT_EQ("Read past EOF", messageOf([&] { d.read32(); }));
    // The failed read consumed nothing.
    EXPECT_EQ(0x0605u, d.read16());
    d.reset();
    EXPECT_EQ(1, d.read8());
    // readBuffer of 10 with 6 left returns 6; the next read fails.
    unsigned char buf[10] = {};
    EXPECT_EQ(6u, d.readBuffer(buf, 10));
    EXPECT_EQ(Bytes({2, 3, 4, 5, 6, 7}), Bytes(buf, buf + 6));
    EXPECT_EQ("Read past EOF", messageOf([&] { d.read8(); }));
    d.reset();
    EXPECT_EQ(0x04030201u, d.read32());
    d.close();
    d.close();
    EXPECT_EQ("File is closed", messageOf([&] { d.read8(); }));
    EXPECT_EQ("File is closed", messageOf([&] { d.readBuffer(buf, 1); }));

    // A long readBuffer through a small buffer that ends early.
    Bytes data(100);
    for (size_t i = 0; i < data.size(); i++) data[i] = static_cast<unsigned char>(i);
    writeFile(path, data);
    FileDeserializer small(path, 8);
    EXPECT_EQ(0x03020100u, small.read32());
    Bytes got(200);
    EXPECT_EQ(96u, small.readBuffer(got.data(), 200));
    EXPECT_EQ(Bytes(data.begin() + 4, data.end()), Bytes(got.begin(), got.begin() + 96));
}

TEST(FileSerializer, OpenFailuresAndClosedState) {
    ScratchDir dir;
    std::string missing = dir.file("no/such/file");
    unsigned int code = 0;
    EXPECT_EQ("Cannot open file: " + missing,
              messageOf([&] { FileSerializer s(missing); }, &code));
    EXPECT_EQ(static_cast<unsigned int>(ENOENT), code);
    EXPECT_EQ("Cannot open file: " + missing,
              messageOf([&] { FileDeserializer d(missing, 4096); }, &code));
    EXPECT_EQ(static_cast<unsigned int>(ENOENT), code);

    std::string path = dir.file("closed");
    FileSerializer s(path);
    s.write32(7);
    s.close();
    s.close();
    EXPECT_EQ("File is closed", messageOf([&] { s.write32(1); }));
    unsigned char c = 0;
    EXPECT_EQ("File is closed", messageOf([&] { s.writeBuffer(&c, 1); }));
    EXPECT_EQ(Bytes({7, 0, 0, 0}), readFile(path));

    // Rewriting a file truncates it.
    {
        FileSerializer again(path);
        again.write8(1);
    }
    EXPECT_EQ(Bytes({1}), readFile(path));
}

TEST(FileSerializer, WriteFailureIsReported) {
    // /dev/full accepts the open and fails every write with ENOSPC.
    if (access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
    unsigned int code = 0;
    EXPECT_EQ("write failed", messageOf(
                                  [&] {
                                      FileSerializer s("/dev/full");
                                      s.write32(1);
                                      s.flush();
                                  },
                                  &code));
    EXPECT_EQ(static_cast<unsigned int>(ENOSPC), code);
}

TEST(XdrU32Vector, CountThenElements) {
    std::vector<unsigned int> empty;
    char room[64];
    XDR x;
    xdrmem_create(&x, room, sizeof room, XDR_ENCODE);
    ASSERT_TRUE(xdr_U32Vector(&x, &empty));
    EXPECT_EQ(4u, xdr_getpos(&x));
    EXPECT_EQ(Bytes(4, 0), Bytes(room, room + 4));
    xdr_destroy(&x);

    std::vector<unsigned int> v = {1, 0x80000000u, 7};
    xdrmem_create(&x, room, sizeof room, XDR_ENCODE);
    ASSERT_TRUE(xdr_U32Vector(&x, &v));
    ASSERT_EQ(16u, xdr_getpos(&x));
    Bytes wire(room, room + 16);
    EXPECT_EQ(3u, be32(wire, 0));
    EXPECT_EQ(0x80000000u, be32(wire, 8));
    xdr_destroy(&x);

    std::vector<unsigned int> back = {9, 9, 9, 9, 9};
    xdrmem_create(&x, room, 16, XDR_DECODE);
    ASSERT_TRUE(xdr_U32Vector(&x, &back));
    EXPECT_EQ(v, back);
    xdr_destroy(&x);
    // A count promising more than the stream holds fails.
    xdrmem_create(&x, room, 12, XDR_DECODE);
    EXPECT_FALSE(xdr_U32Vector(&x, &back));
    xdr_destroy(&x);
}

}  // namespace
