#pragma once

#include <pthread.h>

#include <cstddef>
#include <cstdint>

// The link every pooled cache entry starts with.
struct LruEntry {
    LruEntry* next;
    uint32_t inLru;  // 1 while the entry is on the list
};

// A fixed pool of equal-sized entries, each starting with an LruEntry, and the
// list that orders them: taken from the head, given back at the tail. So the
// head is always the entry least recently given back, or one never used.
// Every operation holds the mutex given to `create` when there is one.
class TolmFsLibLru {
  public:
    TolmFsLibLru() = default;
    ~TolmFsLibLru();
    TolmFsLibLru(const TolmFsLibLru&) = delete;
    TolmFsLibLru& operator=(const TolmFsLibLru&) = delete;

    // Allocates the pool in one zero-filled piece and threads every entry
    // onto the list, each new one in front. Returns false when out of memory.
    bool create(uint32_t numEntries, size_t entrySize, pthread_mutex_t* mutex);
    // Takes the head off the list (null when the list is empty); the entry's
    // `next` and `inLru` are cleared.
    LruEntry* popLru();
    // Appends an entry at the tail. The list must not be empty.
    void pushLru(LruEntry* entry);
    // Puts an entry at the head.
    void pushLruAtTop(LruEntry* entry);
    // Unlinks an entry that is on the list.
    void deleteEntry(LruEntry* key);

    // Entry `i` of the pool (i < numEntries()).
    LruEntry* entryAt(uint32_t i) const {
        return reinterpret_cast<LruEntry*>(_base + i * _entrySize);
    }
    uint32_t numEntries() const { return _numEntries; }

  private:
    uint32_t _numEntries = 0;
    size_t _entrySize = 0;
    pthread_mutex_t* _mutex = nullptr;
    char* _base = nullptr;
    LruEntry* _lruList = nullptr;
};
