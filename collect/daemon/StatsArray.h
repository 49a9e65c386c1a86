#pragma once

#include <utility>
#include <vector>

// The records of one type from every snapshot of the history, each with its
// snapshot's timestamp, in timestamp order.
template <typename T>
class StatsArray {
public:
    typedef std::pair<unsigned int, T> Entry;

    virtual ~StatsArray() = default;
    size_t size() const { return _sm.size(); }
    Entry& operator[](unsigned int i) { return _sm[i]; }
    std::vector<Entry>& array() { return _sm; }

protected:
    std::vector<Entry> _sm;
};
