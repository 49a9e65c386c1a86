#include "CollectorEnv.h"

#include "Snapshot.h"

Snapshot* CollectorEnv::takeSnapshot() { return new Snapshot(); }
