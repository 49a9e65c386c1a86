#pragma once

#include <pthread.h>

#include <cstdint>

// The link every hashed cache entry carries.
struct HashEntry {
    HashEntry* next;
    HashEntry** startOfBucket;  // the bucket slot holding the chain, null when in none
    void* data;                 // the record that owns the entry
    uint32_t valid;             // 1 while the entry is in a bucket
};

// Bucket of a key (below the table's bucket count) and whether a record
// matches a key.
typedef uint32_t (*TolmFsLibHashFn)(const void* key);
typedef bool (*TolmFsLibMatchFn)(const void* key, const void* data);

// A fixed array of buckets, each a chain of HashEntry links, newest first.
// Keys are whatever the hash and match functions take. Every operation holds
// the mutex given to `create` when there is one.
class TolmFsLibHash {
  public:
    TolmFsLibHash() = default;
    ~TolmFsLibHash();
    TolmFsLibHash(const TolmFsLibHash&) = delete;
    TolmFsLibHash& operator=(const TolmFsLibHash&) = delete;

    // Allocates and zeroes the buckets. Returns false when out of memory.
    bool create(uint32_t numEntries, pthread_mutex_t* mutex);
    // The entry whose record matches the key, or null; counts a lookup, and a
    // hit when found.
    HashEntry* findEntry(const void* key, TolmFsLibHashFn hash, TolmFsLibMatchFn match);
    // Puts the entry at the head of the key's bucket, owned by `record`.
    void insertEntry(const void* key, void* record, HashEntry* entry, TolmFsLibHashFn hash);
    // Takes the entry out of its bucket: 0, or -1 when the bucket is already
    // empty. An entry in no bucket is left as it is (0).
    int deleteEntry(HashEntry* delEntry);
    // Finds the key's entry and takes it out: 0, or -1 when not found.
    int deleteEntryByKey(const void* key, TolmFsLibHashFn hash, TolmFsLibMatchFn match);

    uint32_t numLookups() const { return _numLookups; }
    uint32_t numHits() const { return _numHits; }

  private:
    HashEntry* findLocked(const void* key, TolmFsLibHashFn hash, TolmFsLibMatchFn match);
    int deleteLocked(HashEntry* delEntry);

    uint32_t _numEntries = 0;
    uint32_t _numLookups = 0;
    uint32_t _numHits = 0;
    pthread_mutex_t* _mutex = nullptr;
    HashEntry** _base = nullptr;
};
