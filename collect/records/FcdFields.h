#pragma once

// Field lists of the FCD record. Each list is the one place where a
// sub-record's fields are named: the struct, the binary form, the XML form and
// the dump are all expanded from it. An entry is F(type, name), in wire order,
// with TOLM_GAUGE after the name of a level (a value that goes up and down)
// rather than a count.

// The node totals, after the status words.
#define FCD_TOTAL_FIELDS(F) \
    F(uint64_t, readFrames) \
    F(uint64_t, readIOs) \
    F(uint64_t, writeFrames) \
    F(uint64_t, writeIOs) \
    F(uint64_t, otherIOs) \
    F(uint64_t, opsCompleted) \
    F(uint64_t, tapeReads) \
    F(uint64_t, tapeWrites)

// A disk's counters, after its type and id.
#define FCD_DISK_COUNTER_FIELDS(F) \
    F(uint32_t, numReadFrames) \
    F(uint32_t, numReadIOs) \
    F(uint32_t, numWriteFrames) \
    F(uint32_t, numWriteIOs)
