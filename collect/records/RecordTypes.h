#pragma once

// The type tag that opens every serialized record.
enum SerType : unsigned int {
    SER_NBLADE = 0,
    SER_DBLADE = 1,
    SER_LP = 2,
    SER_FCD = 3,
    SER_MGMT = 4,
};
