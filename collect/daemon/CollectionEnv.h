#pragma once

class Snapshot;

// What the collection and persistence loops take from the outside world. The
// daemon's environment runs the collectors; tests replace it.
class CollectionEnv {
public:
    virtual ~CollectionEnv() = default;
    // A new snapshot holding one reference for the caller.
    virtual Snapshot* takeSnapshot() = 0;
    // Called by the persistence thread before writing; returning true means
    // the snapshot was taken care of here.
    virtual bool persistSnapshot(Snapshot* /*snapshot*/) { return false; }
};
