#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The fields of one field list seen as runs of values of one width lying
// next to each other in the struct, so that a whole record is written as a
// few block copies instead of one call per value. Built once per list (from
// the list itself, by the field expansion) and then used for every record.
//
// XDR puts every 32-bit value in one big-endian word, every 64-bit value in
// two (most significant first) and the 16-bit value twice as two words; the
// local file form puts the same values little-endian at 4, 8 and twice 2
// bytes.
class FieldRuns {
  public:
    enum class Kind : uint8_t { Words32, Words64, Twice16 };
    struct Run {
        size_t offset;  // from the start of the struct
        size_t count;   // values in the run
        Kind kind;
    };

    // Adds the next field of the list, `count` values of `kind` at `offset`;
    // it joins the run before it when it has the same kind and starts where
    // that one ends. A 16-bit value is always a run of its own.
    void add(size_t offset, size_t count, Kind kind);
    // Adds the runs of `other`, made for a struct that lies `shift` bytes into
    // this one's, joining them to the runs before them as add() does.
    void append(const FieldRuns& other, size_t shift);

    const std::vector<Run>& runs() const { return _runs; }
    // Bytes of each form.
    size_t xdrBytes() const { return _xdrBytes; }
    size_t fileBytes() const { return _fileBytes; }

    // Write the fields of the struct at `base` in XDR or file form at `at`,
    // which has room for xdrBytes() or fileBytes(); return where the next
    // value goes.
    uint32_t* putXdr(const void* base, uint32_t* at) const;
    unsigned char* putFile(const void* base, unsigned char* at) const;

    // Copies `count` values of `kind` (Words32 or Words64) from `from` to `to`
    // between XDR order and the host's: the bytes of each value reversed on a
    // little-endian host, copied as they are on a big-endian one.
    static void copySwapped(void* to, const void* from, size_t count, Kind kind);

    // Writes the struct that each of `items` points to, `shift` bytes on,
    // one after another in XDR form at `at`; returns where the next value
    // goes. Where the runs cover the struct from its start with nothing
    // between them and no 16-bit value, the XDR form is the struct's bytes
    // with each value's reversed in place, and every struct goes through one
    // byte shuffle per 64 bytes (AVX-512; one of 32 for a struct of at most
    // 32 bytes) or 32 (AVX2) where the processor has one.
    uint32_t* putEachXdr(uint32_t* at, const void* const* items, size_t count, size_t shift) const;

  private:
    std::vector<Run> _runs;
    // Whether the XDR form is the struct's bytes reversed value by value,
    // and if so the shuffle that does it: for each byte of the struct, the
    // byte of its 16-byte lane that goes there (padded to 64 bytes).
    bool _inPlace = true;
    std::vector<unsigned char> _shuffle;
    size_t _xdrBytes = 0;
    size_t _fileBytes = 0;
};
