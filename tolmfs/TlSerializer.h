#pragma once

#include <cstdint>

#include "Serializer.h"

class TlFile;

// A buffered Serializer into a file of the cluster file system. Values are
// stored as their bytes lie in memory (the host's order), gathered in the
// buffer and written with one TlFile::write per flush at the file's offset.
// A writeBuffer at least as long as the free space flushes and goes straight
// to the file. Write errors throw SerializationException("Write failed",
// status); after a failed flush the buffer still holds its bytes. The
// destructor does not flush: call close first.
class TlSerializer : public Serializer {
  public:
    TlSerializer(TlFile* file, int32_t bufferSize);
    ~TlSerializer() noexcept override;
    TlSerializer(const TlSerializer&) = delete;
    TlSerializer& operator=(const TlSerializer&) = delete;

    void write8(unsigned char v) override;
    void write16(unsigned short v) override;
    void write32(unsigned int v) override;
    void write64(unsigned long long v) override;
    void writeBuffer(const unsigned char* buf, int len) override;
    void flush() override;
    void close() override;

    // After close: cuts the file to what was written, when it held more
    // (a file written again). Throws "Truncate failed" with the status.
    void cutToWritten();
    TlFile* file() const { return _pFile; }

  private:
    void ensureSize(int32_t n);
    template <typename T>
    void put(T v);

    TlFile* _pFile;
    int32_t _bufferSize;
    unsigned char* _buf;
    unsigned char* _current;
};
