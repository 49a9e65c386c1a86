#include "TlSerializer.h"

#include <cstring>

#include "SerializationException.h"
#include "TlFile.h"

TlSerializer::TlSerializer(TlFile* file, int32_t bufferSize)
    : _pFile(file), _bufferSize(bufferSize), _buf(new unsigned char[bufferSize]), _current(_buf) {
    _pFile->addRef();
}

TlSerializer::~TlSerializer() noexcept {
    _pFile->release();
    delete[] _buf;
}

void TlSerializer::ensureSize(int32_t n) {
    if (_bufferSize - (_current - _buf) < n)
        flush();
}

template <typename T>
void TlSerializer::put(T v) {
    ensureSize(sizeof v);
    memcpy(_current, &v, sizeof v);
    _current += sizeof v;
}

void TlSerializer::write8(unsigned char v) {
    put(v);
}
void TlSerializer::write16(unsigned short v) {
    put(v);
}
void TlSerializer::write32(unsigned int v) {
    put(v);
}
void TlSerializer::write64(unsigned long long v) {
    put(v);
}

void TlSerializer::writeBuffer(const unsigned char* buf, int len) {
    int32_t free = _bufferSize - static_cast<int32_t>(_current - _buf);
    if (len >= free) {
        flush();
        uint32_t st = _pFile->write(buf, static_cast<uint32_t>(len));
        if (st != 0)
            throw SerializationException("Write failed", st);
        return;
    }
    memcpy(_current, buf, static_cast<size_t>(len));
    _current += len;
}

void TlSerializer::flush() {
    if (_current == _buf)
        return;
    uint32_t st = _pFile->write(_buf, static_cast<uint32_t>(_current - _buf));
    if (st != 0)
        throw SerializationException("Write failed", st);
    _current = _buf;
}

void TlSerializer::close() {
    flush();
}

void TlSerializer::cutToWritten() {
    if (_pFile->wasCreated())
        return;
    uint32_t st = _pFile->truncate(_pFile->offset());
    if (st != 0)
        throw SerializationException("Truncate failed", st);
}
