#pragma once

#include <cstdint>

#include "Deserializer.h"

class TlFile;

// A buffered Deserializer over a file of the cluster file system: values are
// taken back as they were stored (the host's order). A value that would run
// past the end of the file throws "Read past EOF" (code 0), a failed read
// "Read failed" with its status; readBuffer returns fewer bytes at the end.
class TlDeserializer : public Deserializer {
  public:
    TlDeserializer(TlFile* file, int32_t bufferSize);
    ~TlDeserializer() override;
    TlDeserializer(const TlDeserializer&) = delete;
    TlDeserializer& operator=(const TlDeserializer&) = delete;

    unsigned char read8() override;
    unsigned short read16() override;
    unsigned int read32() override;
    unsigned long long read64() override;
    unsigned int readBuffer(unsigned char* buf, int len) override;
    void reset() override;
    void close() override {}

  private:
    // Keeps the unread bytes and fills the rest of the buffer with one read.
    void refill();
    template <typename T>
    T get();

    TlFile* _pFile;
    int32_t _bufferSize;
    unsigned char* _buf;
    unsigned char* _current;
    unsigned char* _end;
    bool _eofReached;
};
