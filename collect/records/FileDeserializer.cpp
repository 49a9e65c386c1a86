#include "FileDeserializer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "SerializationException.h"

// The widest value read is 8 bytes; a smaller buffer could never satisfy a read64.
static constexpr int kMinBufferSize = 8;

FileDeserializer::FileDeserializer(std::string& path, int bufferSize)
    : FileDeserializer(path.c_str(), bufferSize) {}

FileDeserializer::FileDeserializer(const char* path, int bufferSize)
    : _fd(-1),
      _bufferSize(bufferSize < kMinBufferSize ? kMinBufferSize : bufferSize),
      _buf(nullptr),
      _end(nullptr),
      _current(nullptr),
      _eofReached(false) {
    _fd = ::open(path, O_RDONLY);
    if (_fd < 0)
        throw SerializationException(std::string("Cannot open file: ") + path, errno);
    _buf = new unsigned char[_bufferSize];
    _end = _current = _buf;
}

FileDeserializer::FileDeserializer(int fd, int bufferSize)
    : _fd(fd),
      _bufferSize(bufferSize < kMinBufferSize ? kMinBufferSize : bufferSize),
      _buf(new unsigned char[_bufferSize]),
      _end(nullptr),
      _current(nullptr),
      _eofReached(false) {
    _end = _current = _buf;
}

FileDeserializer::~FileDeserializer() {
    close();
    delete[] _buf;
}

void FileDeserializer::ensureSize(unsigned int n) {
    if (_fd < 0)
        throw SerializationException("File is closed", 0);
    for (;;) {
        size_t remaining = _end - _current;
        if (remaining >= n)
            return;
        if (_eofReached)
            throw SerializationException("Read past EOF", 0);
        std::memmove(_buf, _current, remaining);
        size_t want = _bufferSize - remaining;
        ssize_t got = ::read(_fd, _buf + remaining, want);
        if (got < 0)
            throw SerializationException("Read failed", errno);
        if (static_cast<size_t>(got) < want)
            _eofReached = true;
        _end = _buf + remaining + got;
        _current = _buf;
    }
}

unsigned long long FileDeserializer::takeLittleEndian(unsigned int width) {
    ensureSize(width);
    unsigned long long v = 0;
    for (unsigned int i = 0; i < width; ++i)
        v |= static_cast<unsigned long long>(_current[i]) << (8 * i);
    _current += width;
    return v;
}

unsigned char FileDeserializer::read8() {
    return static_cast<unsigned char>(takeLittleEndian(1));
}
unsigned short FileDeserializer::read16() {
    return static_cast<unsigned short>(takeLittleEndian(2));
}
unsigned int FileDeserializer::read32() {
    return static_cast<unsigned int>(takeLittleEndian(4));
}
unsigned long long FileDeserializer::read64() {
    return takeLittleEndian(8);
}

unsigned int FileDeserializer::readBuffer(unsigned char* buf, int len) {
    if (_fd < 0)
        throw SerializationException("File is closed", 0);
    unsigned int delivered = 0;
    unsigned int wanted = len > 0 ? len : 0;
    for (;;) {
        size_t avail = _end - _current;
        size_t take = avail < wanted - delivered ? avail : wanted - delivered;
        std::memcpy(buf + delivered, _current, take);
        _current += take;
        delivered += take;
        if (delivered == wanted || _eofReached)
            return delivered;
        ssize_t got = ::read(_fd, _buf, _bufferSize);
        if (got < 0)
            throw SerializationException("Read failure", errno);
        if (got < _bufferSize)
            _eofReached = true;
        _current = _buf;
        _end = _buf + got;
    }
}

void FileDeserializer::reset() {
    if (_fd >= 0) {
        ::lseek(_fd, 0, SEEK_SET);
        _end = _current = _buf;
        _eofReached = false;
    }
}

void FileDeserializer::close() {
    if (_fd >= 0) {
        ::close(_fd);
        _fd = -1;
    }
}
