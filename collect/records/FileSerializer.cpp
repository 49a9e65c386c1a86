#include "FileSerializer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "SerializationException.h"

FileSerializer::FileSerializer(std::string& path) : FileSerializer(path.c_str()) {}

FileSerializer::FileSerializer(const char* path) : _fd(-1), _current(_buf) {
    _fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (_fd < 0)
        throw SerializationException(std::string("Cannot open file: ") + path, errno);
}

FileSerializer::~FileSerializer() noexcept(false) {
    if (std::uncaught_exceptions() > 0) {
        // Already unwinding: a second exception would end the process.
        try {
            close();
        } catch (const SerializationException&) {
        }
        return;
    }
    close();
}

void FileSerializer::ensureSize(unsigned int n) {
    if (_fd < 0)
        throw SerializationException("File is closed", 0);
    if (freeSpace() < n)
        flush();
}

void FileSerializer::putLittleEndian(unsigned long long v, unsigned int width) {
    ensureSize(width);
    for (unsigned int i = 0; i < width; ++i)
        *_current++ = static_cast<unsigned char>(v >> (8 * i));
}

void FileSerializer::write8(unsigned char v) {
    putLittleEndian(v, 1);
}
void FileSerializer::write16(unsigned short v) {
    putLittleEndian(v, 2);
}
void FileSerializer::write32(unsigned int v) {
    putLittleEndian(v, 4);
}
void FileSerializer::write64(unsigned long long v) {
    putLittleEndian(v, 8);
}

void FileSerializer::writeBuffer(const unsigned char* buf, int len) {
    if (_fd < 0)
        throw SerializationException("File is closed", 0);
    if (len <= 0)
        return;
    if (static_cast<unsigned int>(len) >= freeSpace()) {
        // Too big for what is left: flush, then hand it straight to the file.
        flush();
        if (::write(_fd, buf, len) < 0)
            throw SerializationException("write failed", errno);
        return;
    }
    std::memcpy(_current, buf, len);
    _current += len;
}

void FileSerializer::flush() {
    if (_current != _buf) {
        ssize_t n = ::write(_fd, _buf, _current - _buf);
        _current = _buf;
        if (n < 0)
            throw SerializationException("write failed", errno);
    }
}

void FileSerializer::close() {
    if (_fd >= 0) {
        int fd = _fd;
        try {
            flush();
        } catch (...) {
            ::close(fd);
            _fd = -1;
            throw;
        }
        ::close(fd);
        _fd = -1;
    }
}
