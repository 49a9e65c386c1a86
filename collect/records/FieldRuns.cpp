#include "FieldRuns.h"

#include <cstring>

namespace {

template <typename T>
inline T swapped(T v) {
    if constexpr (sizeof(T) == 4)
        return __builtin_bswap32(v);
    else
        return __builtin_bswap64(v);
}

// n values of T from `in` to `out`, byte order reversed.
template <typename T>
inline void swapValues(unsigned char* __restrict out, const unsigned char* __restrict in,
                       size_t n) {
    for (size_t i = 0; i < n; i++) {
        T v;
        memcpy(&v, in + sizeof(T) * i, sizeof(T));
        v = swapped(v);
        memcpy(out + sizeof(T) * i, &v, sizeof(T));
    }
}

// The long-run loops are built three times, for AVX-512BW (64-byte
// shuffles), for AVX2 (32-byte shuffles) and for the base instruction set,
// and the first use picks the widest this processor has. (Not through the
// loader's ifunc: its resolvers run before a sanitizer's runtime is ready.)
typedef void (*SwapLoop)(unsigned char*, const unsigned char*, size_t);
struct SwapLoops {
    SwapLoop words32;
    SwapLoop words64;
};

void baseSwap32(unsigned char* __restrict out, const unsigned char* __restrict in, size_t n) {
    swapValues<uint32_t>(out, in, n);
}
void baseSwap64(unsigned char* __restrict out, const unsigned char* __restrict in, size_t n) {
    swapValues<uint64_t>(out, in, n);
}

#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void avx2Swap32(unsigned char* __restrict out,
                                                const unsigned char* __restrict in, size_t n) {
    swapValues<uint32_t>(out, in, n);
}
__attribute__((target("avx2"))) void avx2Swap64(unsigned char* __restrict out,
                                                const unsigned char* __restrict in, size_t n) {
    swapValues<uint64_t>(out, in, n);
}
__attribute__((target("avx512bw,prefer-vector-width=512"))) void avx512Swap32(
    unsigned char* __restrict out, const unsigned char* __restrict in, size_t n) {
    swapValues<uint32_t>(out, in, n);
}
__attribute__((target("avx512bw,prefer-vector-width=512"))) void avx512Swap64(
    unsigned char* __restrict out, const unsigned char* __restrict in, size_t n) {
    swapValues<uint64_t>(out, in, n);
}
#endif

const SwapLoops& swapLoops() {
    static const SwapLoops loops = [] {
#if defined(__x86_64__) && defined(__GNUC__)
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512bw"))
            return SwapLoops{avx512Swap32, avx512Swap64};
        if (__builtin_cpu_supports("avx2"))
            return SwapLoops{avx2Swap32, avx2Swap64};
#endif
        return SwapLoops{baseSwap32, baseSwap64};
    }();
    return loops;
}

// Runs shorter than this many bytes are swapped in place, without the call
// into the chosen loop.
constexpr size_t kShortRun = 64;

inline void swap32(unsigned char* out, const unsigned char* in, size_t n) {
    if (4 * n < kShortRun)
        swapValues<uint32_t>(out, in, n);
    else
        swapLoops().words32(out, in, n);
}
inline void swap64(unsigned char* out, const unsigned char* in, size_t n) {
    if (8 * n < kShortRun)
        swapValues<uint64_t>(out, in, n);
    else
        swapLoops().words64(out, in, n);
}

constexpr bool kLittleEndian = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

// Values of one width in the host's order, to big-endian (XDR) or to
// little-endian (file): one of the two is a plain copy.
void toBig(unsigned char* out, const unsigned char* in, size_t n, size_t width) {
    if (!kLittleEndian)
        memcpy(out, in, n * width);
    else if (width == 4)
        swap32(out, in, n);
    else
        swap64(out, in, n);
}
void toLittle(unsigned char* out, const unsigned char* in, size_t n, size_t width) {
    if (kLittleEndian)
        memcpy(out, in, n * width);
    else if (width == 4)
        swap32(out, in, n);
    else
        swap64(out, in, n);
}

size_t widthOf(FieldRuns::Kind k) {
    return k == FieldRuns::Kind::Words64 ? 8 : 4;
}

}  // namespace

void FieldRuns::add(size_t offset, size_t count, Kind kind) {
    _xdrBytes += kind == Kind::Twice16 ? 8 : count * widthOf(kind);
    _fileBytes += count * widthOf(kind);
    if (!_runs.empty() && kind != Kind::Twice16) {
        Run& last = _runs.back();
        if (last.kind == kind && last.offset + last.count * widthOf(kind) == offset) {
            last.count += count;
            return;
        }
    }
    _runs.push_back({offset, count, kind});
}

void FieldRuns::append(const FieldRuns& other, size_t shift) {
    for (const Run& r : other._runs)
        add(r.offset + shift, r.count, r.kind);
}

void FieldRuns::copySwapped(void* to, const void* from, size_t count, Kind kind) {
    toBig(static_cast<unsigned char*>(to), static_cast<const unsigned char*>(from), count,
          widthOf(kind));
}

namespace {

// The 16-bit value's two copies: in XDR each a big-endian word of the value,
// in the file form each its two bytes, little-endian.
unsigned char* putTwice16(uint16_t v, unsigned char* to, bool xdr) {
    if (xdr) {
        uint32_t word = kLittleEndian ? __builtin_bswap32(v) : v;
        memcpy(to, &word, 4);
        memcpy(to + 4, &word, 4);
        return to + 8;
    }
    if (!kLittleEndian)
        v = __builtin_bswap16(v);
    memcpy(to, &v, 2);
    memcpy(to + 2, &v, 2);
    return to + 4;
}

// Every run of `runs` from the struct at `from`, in XDR or file form.
unsigned char* putAll(const std::vector<FieldRuns::Run>& runs, const unsigned char* from,
                      unsigned char* to, bool xdr) {
    for (const FieldRuns::Run& r : runs) {
        if (r.kind == FieldRuns::Kind::Twice16) {
            uint16_t v;
            memcpy(&v, from + r.offset, 2);
            to = putTwice16(v, to, xdr);
            continue;
        }
        size_t width = widthOf(r.kind);
        if (xdr)
            toBig(to, from + r.offset, r.count, width);
        else
            toLittle(to, from + r.offset, r.count, width);
        to += r.count * width;
    }
    return to;
}

}  // namespace

uint32_t* FieldRuns::putXdr(const void* base, uint32_t* at) const {
    return reinterpret_cast<uint32_t*>(putAll(_runs, static_cast<const unsigned char*>(base),
                                              reinterpret_cast<unsigned char*>(at), true));
}

unsigned char* FieldRuns::putFile(const void* base, unsigned char* at) const {
    return putAll(_runs, static_cast<const unsigned char*>(base), at, false);
}
