#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "FieldRuns.h"

// A record's XDR form in memory, a whole record at a time and without a
// virtual call per value: exactly what XdrSerializer puts on an XDR stream.
// A byte and a 16-bit value take four bytes, a 64-bit value eight, most
// significant first; each byte of a buffer is a four-byte int of the byte
// taken as a signed char. append() runs a record's serializeTo twice: on a
// Counter for its size, then on a Words writer into the room made for it,
// which stores whole words with no check per value (a word store cannot
// change the cursor, which stays in a register across the record).
class XdrBuffer {
  public:
    XdrBuffer() : _words(1024) { clear(); }
    XdrBuffer(const XdrBuffer&) = delete;
    XdrBuffer& operator=(const XdrBuffer&) = delete;

    // Counts the words a record takes, writing nothing.
    class Counter {
      public:
        void write8(unsigned char) { words++; }
        void write16(unsigned short) { words++; }
        void write32(unsigned int) { words++; }
        void write64(unsigned long long) { words += 2; }
        void writeBuffer(const unsigned char*, int len) { words += len > 0 ? len : 0; }
        // A list or a record's plan counts as a whole.
        void putRuns(const void*, const FieldRuns& runs) { words += runs.xdrBytes() / 4; }
        size_t words = 0;
    };
    // Writes words where room was made for them.
    class Words {
      public:
        explicit Words(uint32_t* at) : at(at) {}
        void write8(unsigned char v) { *at++ = swap(v); }
        void write16(unsigned short v) { *at++ = swap(v); }
        void write32(unsigned int v) { *at++ = swap(v); }
        // The high word first, each most significant byte first: the
        // value's eight bytes reversed. Stored as two words, which the
        // compiler joins into one store; a byte copy would make it reload
        // the cursor after every value.
        void write64(unsigned long long v) {
            uint64_t big = __builtin_bswap64(v);
            at[0] = static_cast<uint32_t>(big);
            at[1] = static_cast<uint32_t>(big >> 32);
            at += 2;
        }
        void writeBuffer(const unsigned char* buf, int len) {
            for (int i = 0; i < len; i++)
                *at++ = swap(
                    static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(buf[i]))));
        }
        void putRuns(const void* base, const FieldRuns& runs) { at = runs.putXdr(base, at); }
        // N 32-bit values lying at `from`, two at a time: one 64-bit load,
        // its bytes reversed and its halves turned back, one 64-bit store.
        template <size_t N>
        void putWords32(const void* from) {
            const unsigned char* p = static_cast<const unsigned char*>(from);
            // The cursor in a local: a byte store could be taken to change it.
            uint32_t* out = at;
#pragma GCC unroll 32
            for (size_t i = 0; i + 1 < N; i += 2) {
                uint64_t pair;
                memcpy(&pair, p + 4 * i, 8);
                if constexpr (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__) {
                    pair = __builtin_bswap64(pair);
                    pair = pair >> 32 | pair << 32;
                }
                memcpy(out + i, &pair, 8);
            }
            if constexpr (N % 2 == 1) {
                uint32_t last;
                memcpy(&last, p + 4 * (N - 1), 4);
                out[N - 1] = swap(last);
            }
            at = out + N;
        }
        // The struct of a plan (`plan`, made from the struct's fields) that
        // each of `items` holds `shift` bytes on, one after another.
        template <class T>
        void putEach(const T* const* items, size_t count, size_t shift, const FieldRuns& plan) {
            at = plan.putEachXdr(at, reinterpret_cast<const void* const*>(items), count, shift);
        }
        uint32_t* at;
    };

    // Appends whatever `write(sink)` writes: it is called twice, with a
    // Counter and with a Words writer, and must write the same both times.
    template <class Write>
    void append(Write write) {
        Counter counter;
        write(counter);
        size_t used = static_cast<size_t>(_at - _words.data());
        if (_words.size() - used < counter.words) {
            _words.resize(2 * (used + counter.words));
            _at = _words.data() + used;
        }
        Words words(_at);
        write(words);
        _at = words.at;
    }

    const unsigned char* data() const {
        return reinterpret_cast<const unsigned char*>(_words.data());
    }
    size_t size() const { return 4 * static_cast<size_t>(_at - _words.data()); }
    // Empties the buffer, keeping its room for the next record.
    void clear() { _at = _words.data(); }

  private:
    static uint32_t swap(uint32_t v) { return __builtin_bswap32(v); }

    std::vector<uint32_t> _words;
    uint32_t* _at;
};
