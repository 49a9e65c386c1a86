#include "TlDeserializer.h"

#include <cstddef>
#include <cstring>

#include "SerializationException.h"
#include "TlFile.h"
#include "TolmErr.h"

TlDeserializer::TlDeserializer(TlFile* file, int32_t bufferSize)
    : _pFile(file),
      _bufferSize(bufferSize),
      _buf(new unsigned char[bufferSize]),
      _current(_buf),
      _end(_buf),
      _eofReached(false) {
    _pFile->addRef();
}

TlDeserializer::~TlDeserializer() {
    _pFile->release();
    delete[] _buf;
}

void TlDeserializer::refill() {
    size_t kept = static_cast<size_t>(_end - _current);
    memmove(_buf, _current, kept);
    _current = _buf;
    _end = _buf + kept;
    uint32_t got = 0;
    uint32_t st = _pFile->read(_end, static_cast<uint32_t>(_bufferSize - kept), &got);
    if (st == TOLM_ERR_END_OF_FILE)
        _eofReached = true;
    else if (st != 0)
        throw SerializationException("Read failed", st);
    _end += got;
}

template <typename T>
T TlDeserializer::get() {
    while (_end - _current < static_cast<std::ptrdiff_t>(sizeof(T))) {
        if (_eofReached)
            throw SerializationException("Read past EOF", 0);
        refill();
    }
    T v;
    memcpy(&v, _current, sizeof v);
    _current += sizeof v;
    return v;
}

unsigned char TlDeserializer::read8() {
    return get<unsigned char>();
}
unsigned short TlDeserializer::read16() {
    return get<unsigned short>();
}
unsigned int TlDeserializer::read32() {
    return get<unsigned int>();
}
unsigned long long TlDeserializer::read64() {
    return get<unsigned long long>();
}

unsigned int TlDeserializer::readBuffer(unsigned char* buf, int len) {
    unsigned int copied = 0;
    while (static_cast<int>(copied) < len) {
        if (_current == _end) {
            if (_eofReached)
                break;
            refill();
            continue;
        }
        size_t n = static_cast<size_t>(_end - _current);
        if (n > static_cast<size_t>(len) - copied)
            n = static_cast<size_t>(len) - copied;
        memcpy(buf + copied, _current, n);
        _current += n;
        copied += static_cast<unsigned int>(n);
    }
    return copied;
}

void TlDeserializer::reset() {
    _pFile->reset();
    _current = _buf;
    _end = _buf;
    _eofReached = false;
}
