#include "TolmFsLibLru.h"

#include <cstdlib>

#include "Check.h"
#include "OptionalLock.h"

TolmFsLibLru::~TolmFsLibLru() {
    free(_base);
}

bool TolmFsLibLru::create(uint32_t numEntries, size_t entrySize, pthread_mutex_t* mutex) {
    TOLM_CHECK(entrySize >= sizeof(LruEntry));
    free(_base);
    _base = static_cast<char*>(calloc(numEntries, entrySize));
    if (_base == nullptr)
        return false;
    _numEntries = numEntries;
    _entrySize = entrySize;
    _mutex = mutex;
    _lruList = nullptr;
    for (uint32_t i = 0; i < numEntries; i++) {
        LruEntry* e = entryAt(i);
        e->next = _lruList;
        e->inLru = 1;
        _lruList = e;
    }
    return true;
}

LruEntry* TolmFsLibLru::popLru() {
    OptionalLock hold(_mutex);
    LruEntry* e = _lruList;
    if (e == nullptr)
        return nullptr;
    _lruList = e->next;
    e->next = nullptr;
    e->inLru = 0;
    return e;
}

void TolmFsLibLru::pushLru(LruEntry* entry) {
    OptionalLock hold(_mutex);
    TOLM_CHECK_TEXT(_lruList != nullptr, "_lruList != __null");
    LruEntry* tail = _lruList;
    while (tail->next != nullptr)
        tail = tail->next;
    tail->next = entry;
    entry->next = nullptr;
    entry->inLru = 1;
}

void TolmFsLibLru::pushLruAtTop(LruEntry* entry) {
    OptionalLock hold(_mutex);
    entry->next = _lruList;
    entry->inLru = 1;
    _lruList = entry;
}

void TolmFsLibLru::deleteEntry(LruEntry* key) {
    OptionalLock hold(_mutex);
    TOLM_CHECK_TEXT(key->inLru, "key->inLru");
    TOLM_CHECK_TEXT(_lruList != nullptr, "_lruList != __null");
    for (LruEntry** link = &_lruList; *link != nullptr; link = &(*link)->next) {
        if (*link == key) {
            *link = key->next;
            break;
        }
    }
    key->next = nullptr;
    key->inLru = 0;
}
