#include "XdrWordReader.h"

#include "FieldRuns.h"
#include "SerializationException.h"

bool XdrWordReader::refill() {
    for (unsigned int run = kRun; run >= 1; run /= 2) {
        auto* p =
            reinterpret_cast<const unsigned char*>(XDR_INLINE(_xdrs, static_cast<int>(4 * run)));
        if (p != nullptr) {
            _at = p;
            _end = p + 4 * run;
            return true;
        }
    }
    return false;
}

uint32_t XdrWordReader::single(const char* failure) {
    uint32_t v = 0;
    if (!xdr_uint32_t(_xdrs, &v))
        throw SerializationException(failure, 0);
    return v;
}

unsigned long long XdrWordReader::read64() {
    // Two words, most significant first; a failure of either is read64's.
    unsigned long long high = word("read64 failed");
    return high << 32 | word("read64 failed");
}

unsigned int XdrWordReader::readBuffer(unsigned char* buf, int len) {
    for (int i = 0; i < len; i++)
        buf[i] = static_cast<unsigned char>(static_cast<char>(word("readBuffer failed")));
    return static_cast<unsigned int>(len > 0 ? len : 0);
}

void XdrWordReader::readRuns(void* base, const FieldRuns& runs) {
    unsigned char* to = static_cast<unsigned char*>(base);
    for (const FieldRuns::Run& r : runs.runs()) {
        unsigned char* at = to + r.offset;
        if (r.kind == FieldRuns::Kind::Twice16) {
            readValues(at, r.kind, r.count);
            continue;
        }
        const size_t width = r.kind == FieldRuns::Kind::Words64 ? 8 : 4;
        size_t left = r.count;
        while (left > 0) {
            size_t n = static_cast<size_t>(_end - _at) / width;
            if (n == 0) {
                // Not one whole value in the run taken: one value the slow way
                // (it refills, or reads a value split between buffers, or
                // fails as the single read fails).
                n = 1;
                readValues(at, r.kind, n);
            } else {
                n = n < left ? n : left;
                FieldRuns::copySwapped(at, _at, n, r.kind);
                _at += n * width;
            }
            at += n * width;
            left -= n;
        }
    }
}

void XdrWordReader::reset() {
    throw SerializationException("reset unsupported", 0);
}
