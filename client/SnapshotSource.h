#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "HistoryRecord.h"

// The history cannot be reached at all (no daemon, no such directory); the
// message says where and why. A damaged snapshot is no error: it is skipped.
class SourceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One snapshot's record of a type, with the snapshot's time. `afterGap`:
// between this entry and the one before it in a window lies a snapshot of
// the history whose record of the type is missing or did not read, so the
// two are not neighbours (a chart breaks its line there).
struct HistoryEntry {
    uint32_t stamp;
    std::unique_ptr<HistoryRecord> record;
    bool afterGap = false;
};

// One node's history of snapshots, wherever it is kept: a running daemon's
// rings, the statistics volume, a dump tree. Every call may throw
// SourceError; a snapshot that cannot be read is left out, with one warning
// line on standard error.
class SnapshotSource {
  public:
    virtual ~SnapshotSource() = default;

    // The snapshots' times, ascending.
    virtual std::vector<uint32_t> timestamps() = 0;
    // The record of `type` of the snapshot at `stamp` exactly; null when
    // there is none (no such snapshot, or it lacks that record).
    virtual std::unique_ptr<HistoryRecord> recordAt(RecordType type, uint32_t stamp) = 0;
    // The record of `type` of the oldest (newest) snapshot that has one.
    virtual std::unique_ptr<HistoryRecord> earliest(RecordType type, uint32_t* stamp);
    virtual std::unique_ptr<HistoryRecord> latest(RecordType type, uint32_t* stamp);
    // The records of `type` of the snapshots from `from` to `to` inclusive,
    // oldest first; snapshots without the record are left out, and the entry
    // after each such one says so.
    virtual std::vector<HistoryEntry> window(RecordType type, uint32_t from, uint32_t to);
    // The records of `type` of the `count` newest snapshots that have one,
    // oldest first (fewer when the history holds fewer).
    virtual std::vector<HistoryEntry> newest(RecordType type, size_t count);
    // Where the history is, for messages ("tolmstatsd on HOST", "DIR/tolmstats").
    virtual std::string where() const = 0;
};
