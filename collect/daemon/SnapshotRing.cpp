#include "SnapshotRing.h"

#include "Snapshot.h"

namespace {

bool snapless(const Snapshot* a, const Snapshot* b) { return a->timestamp < b->timestamp; }

class Guard {
public:
    explicit Guard(pthread_mutex_t& m) : _m(m) { pthread_mutex_lock(&_m); }
    ~Guard() { pthread_mutex_unlock(&_m); }

private:
    pthread_mutex_t& _m;
};

}  // namespace

SnapshotRing::SnapshotRing(int maxSize) : _maxSize(maxSize) { pthread_mutex_init(&_lk, nullptr); }

SnapshotRing::SnapshotRing(const SnapshotRing& other) : _maxSize(other._maxSize) {
    pthread_mutex_init(&_lk, nullptr);
    std::list<Snapshot*>* copy = other.copyList();
    _contents.swap(*copy);
    delete copy;
}

SnapshotRing& SnapshotRing::operator=(const SnapshotRing& other) {
    if (this == &other) return *this;
    std::list<Snapshot*>* copy = other.copyList();
    Guard g(_lk);
    _maxSize = other._maxSize;
    releaseList();
    _contents.clear();
    _contents.swap(*copy);
    delete copy;
    return *this;
}

SnapshotRing::~SnapshotRing() {
    pthread_mutex_destroy(&_lk);
    releaseList();
}

void SnapshotRing::add(Snapshot* s) {
    s->addRef();
    Guard g(_lk);
    if (_maxSize != -1 && static_cast<int>(_contents.size()) >= _maxSize && !_contents.empty()) {
        Snapshot* oldest = _contents.front();
        _contents.pop_front();
        oldest->release();
    }
    _contents.push_back(s);
}

void SnapshotRing::merge(SnapshotRing& other) {
    std::list<Snapshot*>* copy = other.copyList();
    {
        Guard g(_lk);
        // std::list::merge is stable and keeps this list's elements ahead of
        // equal ones from the argument.
        _contents.merge(*copy, snapless);
    }
    delete copy;
}

Snapshot* SnapshotRing::earliest() {
    Guard g(_lk);
    if (_contents.empty()) return nullptr;
    _contents.front()->addRef();
    return _contents.front();
}

Snapshot* SnapshotRing::latest() {
    Guard g(_lk);
    if (_contents.empty()) return nullptr;
    _contents.back()->addRef();
    return _contents.back();
}

Snapshot* SnapshotRing::find(long timestamp) {
    Guard g(_lk);
    for (Snapshot* s : _contents) {
        // The RPC argument is an unsigned 32-bit number and the timestamp a
        // signed one: they match when their 32 bits are equal (after 2038 too).
        if (static_cast<uint32_t>(s->timestamp) == static_cast<uint32_t>(timestamp)) {
            s->addRef();
            return s;
        }
    }
    return nullptr;
}

void SnapshotRing::populateTimestamps(std::vector<unsigned int>& out) {
    if (_maxSize > 0) out.reserve(out.size() + static_cast<size_t>(_maxSize));
    Guard g(_lk);
    for (Snapshot* s : _contents) out.push_back(static_cast<unsigned int>(s->timestamp));
}

size_t SnapshotRing::size() {
    Guard g(_lk);
    return _contents.size();
}

std::list<Snapshot*>* SnapshotRing::copyList() const {
    Guard g(_lk);
    auto* copy = new std::list<Snapshot*>(_contents);
    for (Snapshot* s : *copy) s->addRef();
    return copy;
}

void SnapshotRing::releaseList() {
    for (Snapshot* s : _contents) s->release();
}
