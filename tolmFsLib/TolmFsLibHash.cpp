#include "TolmFsLibHash.h"

#include <cstdlib>

#include "Check.h"
#include "OptionalLock.h"

TolmFsLibHash::~TolmFsLibHash() {
    free(_base);
}

bool TolmFsLibHash::create(uint32_t numEntries, pthread_mutex_t* mutex) {
    free(_base);
    _base = static_cast<HashEntry**>(calloc(numEntries, sizeof(HashEntry*)));
    if (_base == nullptr)
        return false;
    _numEntries = numEntries;
    _numLookups = 0;
    _numHits = 0;
    _mutex = mutex;
    return true;
}

HashEntry* TolmFsLibHash::findLocked(const void* key, TolmFsLibHashFn hash,
                                     TolmFsLibMatchFn match) {
    _numLookups++;
    uint32_t index = hash(key);
    TOLM_CHECK_TEXT(index < _numEntries, "*index < _numEntries");
    for (HashEntry* entry = _base[index]; entry != nullptr; entry = entry->next) {
        if (match(key, entry->data)) {
            _numHits++;
            TOLM_CHECK_TEXT(entry->valid, "entry->valid");
            return entry;
        }
    }
    return nullptr;
}

HashEntry* TolmFsLibHash::findEntry(const void* key, TolmFsLibHashFn hash, TolmFsLibMatchFn match) {
    OptionalLock hold(_mutex);
    return findLocked(key, hash, match);
}

void TolmFsLibHash::insertEntry(const void* key, void* record, HashEntry* entry,
                                TolmFsLibHashFn hash) {
    OptionalLock hold(_mutex);
    uint32_t index = hash(key);
    TOLM_CHECK_TEXT(index < _numEntries, "*index < _numEntries");
    entry->next = _base[index];
    _base[index] = entry;
    entry->startOfBucket = &_base[index];
    entry->data = record;
    entry->valid = 1;
}

int TolmFsLibHash::deleteLocked(HashEntry* delEntry) {
    if (delEntry->startOfBucket == nullptr) {
        TOLM_CHECK_TEXT(!delEntry->valid, "!delEntry->valid");
        return 0;
    }
    HashEntry** link = delEntry->startOfBucket;
    if (*link == nullptr)
        return -1;
    for (; *link != nullptr; link = &(*link)->next) {
        if (*link == delEntry) {
            *link = delEntry->next;
            break;
        }
    }
    delEntry->next = nullptr;
    delEntry->startOfBucket = nullptr;
    delEntry->valid = 0;
    return 0;
}

int TolmFsLibHash::deleteEntry(HashEntry* delEntry) {
    OptionalLock hold(_mutex);
    return deleteLocked(delEntry);
}

int TolmFsLibHash::deleteEntryByKey(const void* key, TolmFsLibHashFn hash, TolmFsLibMatchFn match) {
    OptionalLock hold(_mutex);
    HashEntry* entry = findLocked(key, hash, match);
    if (entry == nullptr)
        return -1;
    return deleteLocked(entry);
}
