#pragma once

#include "CollectionEnv.h"

// The daemon's environment: every snapshot runs the five collectors.
class CollectorEnv : public CollectionEnv {
public:
    Snapshot* takeSnapshot() override;
};
