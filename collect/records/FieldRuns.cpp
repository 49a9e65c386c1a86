#include "FieldRuns.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

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
typedef unsigned char* (*ShuffleEach)(unsigned char*, const void* const*, size_t, size_t,
                                      const unsigned char*, size_t);
struct SwapLoops {
    SwapLoop words32;
    SwapLoop words64;
    // Null where there is no byte shuffle; `eachSmall` for structs of at
    // most 32 bytes.
    ShuffleEach each;
    ShuffleEach eachSmall;
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

// Structs whose XDR form is their own bytes, each value's reversed in place:
// 32 bytes at a time through one byte shuffle, whose pattern (`masks`, one
// byte per byte of the struct, padded to 64) repeats in every struct. The last
// block of a struct is loaded under a mask of its words; it is stored whole
// when the 32 bytes lie within what the call writes (the bytes past the
// struct are written again by the structs after it), and under its mask at
// the end.
__attribute__((target("avx2"))) unsigned char* avx2ShuffleEach(unsigned char* out,
                                                               const void* const* items,
                                                               size_t count, size_t shift,
                                                               const unsigned char* masks,
                                                               size_t bytes) {
    const size_t blocks = (bytes + 31) / 32;
    const int tailWords = static_cast<int>(bytes - 32 * (blocks - 1)) / 4;
    const __m256i tail =
        _mm256_cmpgt_epi32(_mm256_set1_epi32(tailWords), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7));
    const __m256i lastOrder =
        _mm256_loadu_si256(reinterpret_cast<const __m256i*>(masks + 32 * (blocks - 1)));
    unsigned char* const end = out + count * bytes;
    for (size_t i = 0; i < count; i++) {
        const unsigned char* p = static_cast<const unsigned char*>(items[i]) + shift;
        size_t b = 0;
        for (; b + 1 < blocks; b++) {
            __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32 * b));
            __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(masks + 32 * b));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * b),
                                _mm256_shuffle_epi8(v, order));
        }
        __m256i v = _mm256_shuffle_epi8(
            _mm256_maskload_epi32(reinterpret_cast<const int*>(p + 32 * b), tail), lastOrder);
        if (out + 32 * b + 32 <= end)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32 * b), v);
        else
            _mm256_maskstore_epi32(reinterpret_cast<int*>(out + 32 * b), tail, v);
        out += bytes;
    }
    return out;
}

// The same with AVX-512's masked loads and stores of 32-bit values, which
// cost no more than plain ones: a struct of one block (at most 32 bytes) is
// one masked load, one shuffle and one masked store, and nothing is written
// past the structs.
__attribute__((target("avx512bw,avx512vl"))) unsigned char* avx512ShuffleEachSmall(
    unsigned char* out, const void* const* items, size_t count, size_t shift,
    const unsigned char* masks, size_t bytes) {
    const __mmask8 mask = static_cast<__mmask8>((1u << (bytes / 4)) - 1);
    const __m256i order = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(masks));
    for (size_t i = 0; i < count; i++, out += bytes) {
        const unsigned char* p = static_cast<const unsigned char*>(items[i]) + shift;
        _mm256_mask_storeu_epi32(out, mask,
                                 _mm256_shuffle_epi8(_mm256_maskz_loadu_epi32(mask, p), order));
    }
    return out;
}

// Larger structs: 64 bytes at a time, every block but the last whole, the
// last loaded under the mask of its words and stored as above.
__attribute__((target("avx512bw,avx512vl"))) unsigned char* avx512ShuffleEach(
    unsigned char* out, const void* const* items, size_t count, size_t shift,
    const unsigned char* masks, size_t bytes) {
    const size_t blocks = (bytes + 63) / 64;
    const unsigned tailWords = static_cast<unsigned>(bytes - 64 * (blocks - 1)) / 4;
    const __mmask16 tail = static_cast<__mmask16>((1u << tailWords) - 1);
    const __m512i lastOrder = _mm512_loadu_si512(masks + 64 * (blocks - 1));
    unsigned char* const end = out + count * bytes;
    for (size_t i = 0; i < count; i++) {
        const unsigned char* p = static_cast<const unsigned char*>(items[i]) + shift;
        size_t b = 0;
        for (; b + 1 < blocks; b++)
            _mm512_storeu_si512(out + 64 * b,
                                _mm512_shuffle_epi8(_mm512_loadu_si512(p + 64 * b),
                                                    _mm512_loadu_si512(masks + 64 * b)));
        __m512i v = _mm512_shuffle_epi8(_mm512_maskz_loadu_epi32(tail, p + 64 * b), lastOrder);
        if (out + 64 * b + 64 <= end)
            _mm512_storeu_si512(out + 64 * b, v);
        else
            _mm512_mask_storeu_epi32(out + 64 * b, tail, v);
        out += bytes;
    }
    return out;
}
#endif

SwapLoops chooseSwapLoops() {
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    // TOLM_VECTOR_LEVEL ("avx2" or "base") caps the choice, so that the
    // tests run the narrower loops on a processor that has wider ones.
    const char* cap = getenv("TOLM_VECTOR_LEVEL");
    const bool base = cap && strcmp(cap, "base") == 0;
    const bool upToAvx2 = base || (cap && strcmp(cap, "avx2") == 0);
    if (!upToAvx2 && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl"))
        return SwapLoops{avx512Swap32, avx512Swap64, avx512ShuffleEach, avx512ShuffleEachSmall};
    if (!base && __builtin_cpu_supports("avx2"))
        return SwapLoops{avx2Swap32, avx2Swap64, avx2ShuffleEach, avx2ShuffleEach};
#endif
    return SwapLoops{baseSwap32, baseSwap64, nullptr, nullptr};
}

// The chosen loops, once chosen: a load and a test on every use.
std::atomic<const SwapLoops*> g_swapLoops{nullptr};

__attribute__((noinline, cold)) const SwapLoops& firstSwapLoops() {
    static const SwapLoops loops = chooseSwapLoops();
    g_swapLoops.store(&loops, std::memory_order_release);
    return loops;
}

inline const SwapLoops& swapLoops() {
    const SwapLoops* loops = g_swapLoops.load(std::memory_order_acquire);
    return __builtin_expect(loops != nullptr, 1) ? *loops : firstSwapLoops();
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
    const size_t width = widthOf(kind);
    // In place while every value so far lies right after the one before,
    // from the start of the struct, at a multiple of its width (so that none
    // crosses a 16-byte lane of the shuffle).
    if (kind == Kind::Twice16 || offset != _fileBytes || offset % width != 0) {
        _inPlace = false;
        _shuffle.clear();
    }
    if (_inPlace) {
        size_t end = offset + count * width;
        _shuffle.resize((end + 63) / 64 * 64);
        for (size_t at = offset; at < end; at += width)
            for (size_t j = 0; j < width; j++)
                _shuffle[at + j] = static_cast<unsigned char>((at + width - 1 - j) % 16);
    }
    _xdrBytes += kind == Kind::Twice16 ? 8 : count * width;
    _fileBytes += count * width;
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

namespace {

// The structs one by one through their runs. Out of line: putEachXdr then
// ends in a jump to one loop or the other and saves no register.
__attribute__((noinline)) uint32_t* putEachByRuns(const FieldRuns& runs, uint32_t* at,
                                                  const void* const* items, size_t count,
                                                  size_t shift) {
    for (size_t i = 0; i < count; i++)
        at = runs.putXdr(static_cast<const unsigned char*>(items[i]) + shift, at);
    return at;
}

}  // namespace

uint32_t* FieldRuns::putEachXdr(uint32_t* at, const void* const* items, size_t count,
                                size_t shift) const {
    const SwapLoops& loops = swapLoops();
    ShuffleEach each = _fileBytes <= 32 ? loops.eachSmall : loops.each;
    if (kLittleEndian && _inPlace && _fileBytes > 0 && count > 0 && each)
        return reinterpret_cast<uint32_t*>(each(reinterpret_cast<unsigned char*>(at), items, count,
                                                shift, _shuffle.data(), _fileBytes));
    return putEachByRuns(*this, at, items, count, shift);
}
