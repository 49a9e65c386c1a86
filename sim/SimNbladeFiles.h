#pragma once

#include <cstdint>
#include <string>

// Writes the N-blade's fourteen statistics files into a directory in the
// kernel's format, from the kernel side's own table (SimKernelFiles.h): one
// line per counter, its name, a blank or a tab, the number (two numbers for
// the lines that carry a pair), a newline; bcptime holds 60 numbers. Every
// value grows with `tick`, so two collections at different ticks differ. Each
// file is replaced whole (written aside, then renamed), so a reader never
// sees half of one.
class SimNbladeFiles {
  public:
    static bool write(const std::string& dir, uint64_t tick);

    // What a collector should make of the files written at `tick`: one line
    // per record field, "SUBRECORD FIELD VALUE" (by the record's XML names;
    // "bcp histogram N VALUE" for the histogram), each value cut to the
    // field's width. The end-to-end test compares a collected record with it.
    static std::string expected(uint64_t tick);

    // The value written for line `line` of file `file` (both counted from 0
    // in the order written) at `tick`; the second number of a pair is 100 more.
    static uint64_t lineValue(uint32_t file, uint32_t line, uint64_t tick) {
        return (file + 1) * 1000u + line * 10u + tick * (line + 1);
    }
};
