#pragma once

// Knows where the value columns of one named line of an N-blade statistics
// file go inside the sub-record being filled.
class LineDesc {
  public:
    virtual ~LineDesc() {}
    // Called once per value column of a matched line; `column` is 0-based and
    // does not count the name; `base` is the start of the sub-record.
    virtual void update(void* base, int column, unsigned long long value) = 0;
};
