#pragma once

#include <string>

#include "Deserializer.h"

// Reads what FileSerializer writes, through a read buffer of the size given.
class FileDeserializer : public Deserializer {
  public:
    FileDeserializer(std::string& path, int bufferSize);
    FileDeserializer(const char* path, int bufferSize);
    // Reads an open descriptor from its current offset; takes ownership.
    FileDeserializer(int fd, int bufferSize);
    FileDeserializer(const FileDeserializer&) = delete;
    FileDeserializer& operator=(const FileDeserializer&) = delete;

    unsigned char read8() override;
    unsigned short read16() override;
    unsigned int read32() override;
    unsigned long long read64() override;
    unsigned int readBuffer(unsigned char* buf, int len) override;
    void reset() override;
    void close() override;
    ~FileDeserializer() override;

  private:
    void ensureSize(unsigned int n);
    unsigned long long takeLittleEndian(unsigned int width);

    int _fd;
    int _bufferSize;
    unsigned char* _buf;
    unsigned char* _end;
    unsigned char* _current;
    bool _eofReached;
};
