#pragma once

#include <pthread.h>

#include <list>
#include <vector>

class Snapshot;

// A bounded list of snapshots, oldest first, with its own lock. Each entry
// holds one reference. A capacity of -1 means unbounded.
class SnapshotRing {
public:
    explicit SnapshotRing(int maxSize);
    SnapshotRing(const SnapshotRing& other);
    SnapshotRing& operator=(const SnapshotRing& other);
    ~SnapshotRing();

    // Appends `s` with a reference of its own, evicting the oldest entry when full.
    void add(Snapshot* s);
    // Merges the other ring's snapshots in timestamp order; on equal timestamps
    // this ring's entries stay first. No capacity applies.
    void merge(SnapshotRing& other);

    // Each returns a snapshot with one reference for the caller, or null.
    Snapshot* earliest();
    Snapshot* latest();
    Snapshot* find(long timestamp);

    // Appends the timestamps, oldest first.
    void populateTimestamps(std::vector<unsigned int>& out);

    // Unlocked iteration: only for a ring the caller owns alone.
    std::list<Snapshot*>::iterator begin() { return _contents.begin(); }
    std::list<Snapshot*>::iterator end() { return _contents.end(); }

    int maxSize() const { return _maxSize; }
    size_t size();

    // A copy of the contents with a reference taken on every snapshot.
    std::list<Snapshot*>* copyList() const;

private:
    void releaseList();

    std::list<Snapshot*> _contents;
    int _maxSize;
    mutable pthread_mutex_t _lk;
};
