#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// A record's XDR form in memory, a whole record at a time and without a
// virtual call per value (the records' serializeTo is instantiated for it):
// exactly what XdrSerializer puts on an XDR stream. A byte and a 16-bit value
// take four bytes, a 64-bit value eight, most significant first; each byte of
// a buffer is a four-byte int of the byte taken as a signed char. The form is
// made of whole four-byte words, so they are stored as words: a word store
// cannot change the cursor, which stays in a register across a record.
class XdrBuffer {
  public:
    XdrBuffer() : _words(1024) { clear(); }
    XdrBuffer(const XdrBuffer&) = delete;
    XdrBuffer& operator=(const XdrBuffer&) = delete;

    __attribute__((always_inline)) void write8(unsigned char v) { put(v); }
    __attribute__((always_inline)) void write16(unsigned short v) { put(v); }
    __attribute__((always_inline)) void write32(unsigned int v) { put(v); }
    __attribute__((always_inline)) void write64(unsigned long long v) {
        room(2);
        _at[0] = swap(static_cast<uint32_t>(v >> 32));
        _at[1] = swap(static_cast<uint32_t>(v));
        _at += 2;
    }
    void writeBuffer(const unsigned char* buf, int len) {
        if (len <= 0)
            return;
        room(static_cast<size_t>(len));
        for (int i = 0; i < len; i++)
            *_at++ =
                swap(static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(buf[i]))));
    }

    // Counts the words a record takes, writing nothing.
    class Counter {
      public:
        void write8(unsigned char) { words++; }
        void write16(unsigned short) { words++; }
        void write32(unsigned int) { words++; }
        void write64(unsigned long long) { words += 2; }
        void writeBuffer(const unsigned char*, int len) { words += len > 0 ? len : 0; }
        size_t words = 0;
    };
    // Writes words where room was made for them, with no check per value.
    class Words {
      public:
        explicit Words(uint32_t* at) : at(at) {}
        void write8(unsigned char v) { *at++ = swap(v); }
        void write16(unsigned short v) { *at++ = swap(v); }
        void write32(unsigned int v) { *at++ = swap(v); }
        void write64(unsigned long long v) {
            at[0] = swap(static_cast<uint32_t>(v >> 32));
            at[1] = swap(static_cast<uint32_t>(v));
            at += 2;
        }
        void writeBuffer(const unsigned char* buf, int len) {
            for (int i = 0; i < len; i++)
                *at++ = swap(
                    static_cast<uint32_t>(static_cast<int32_t>(static_cast<signed char>(buf[i]))));
        }
        uint32_t* at;
    };
    // Appends a whole record: `write(sink)` calls the record's serializeTo on
    // the sink it is given; it runs twice, counting, then writing unchecked
    // into the room the count asked for.
    template <class Write>
    void append(Write write) {
        Counter counter;
        write(counter);
        room(counter.words);
        Words words(_at);
        write(words);
        _at = words.at;
    }

    const unsigned char* data() const {
        return reinterpret_cast<const unsigned char*>(_words.data());
    }
    size_t size() const { return 4 * static_cast<size_t>(_at - _words.data()); }
    // Empties the buffer, keeping its room for the next record.
    void clear() {
        _at = _words.data();
        _end = _at + _words.size();
    }

  private:
    static uint32_t swap(uint32_t v) { return __builtin_bswap32(v); }
    __attribute__((always_inline)) void put(uint32_t v) {
        room(1);
        *_at++ = swap(v);
    }
    __attribute__((always_inline)) void room(size_t words) {
        if (__builtin_expect(static_cast<size_t>(_end - _at) < words, 0))
            grow(words);
    }
    __attribute__((noinline)) void grow(size_t words) {
        size_t used = static_cast<size_t>(_at - _words.data());
        _words.resize(2 * (used + words));
        _at = _words.data() + used;
        _end = _words.data() + _words.size();
    }

    std::vector<uint32_t> _words;
    uint32_t* _at;
    uint32_t* _end;
};
