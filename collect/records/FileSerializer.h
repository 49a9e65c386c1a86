#pragma once

#include <string>

#include "Serializer.h"

// Writes values back to back into a local file, little-endian at their own
// width, through a 4096-byte buffer.
class FileSerializer : public Serializer {
public:
    explicit FileSerializer(std::string& path);
    explicit FileSerializer(const char* path);
    FileSerializer(const FileSerializer&) = delete;
    FileSerializer& operator=(const FileSerializer&) = delete;

    void write8(unsigned char v) override;
    void write16(unsigned short v) override;
    void write32(unsigned int v) override;
    void write64(unsigned long long v) override;
    void writeBuffer(const unsigned char* buf, int len) override;
    void flush() override;
    void close() override;
    // May throw "write failed" from the final flush.
    ~FileSerializer() noexcept(false) override;

private:
    static constexpr unsigned int kBufSize = 4096;

    void ensureSize(unsigned int n);
    unsigned int freeSpace() const { return kBufSize - (_current - _buf); }
    void putLittleEndian(unsigned long long v, unsigned int width);

    int _fd;
    unsigned char _buf[kBufSize];
    unsigned char* _current;
};
