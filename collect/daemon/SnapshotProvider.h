#pragma once

#include <vector>

class Snapshot;
class SnapshotRing;

// Read-only view of the snapshot history for the query server and the dumps.
// Every snapshot returned carries one reference for the caller.
class SnapshotProvider {
public:
    virtual ~SnapshotProvider() = default;
    // A new ring, owned by the caller, of every snapshot in timestamp order; or null.
    virtual SnapshotRing* getAllSnapshots() = 0;
    virtual Snapshot* getEarliestSnapshot() = 0;
    virtual Snapshot* getLatestSnapshot() = 0;
    virtual Snapshot* getSnapshot(long timestamp) = 0;
    // Replaces `out` with every timestamp, ascending.
    virtual void getTimestamps(std::vector<unsigned int>& out) = 0;
};
