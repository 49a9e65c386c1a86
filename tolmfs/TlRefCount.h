#pragma once

#include <pthread.h>

#include <cstdint>

#include "Check.h"

// The count of a shared cluster file object, starting at 1 for its creator,
// changed under its own mutex so that references may be dropped from any
// thread. Dropping one below 1 is fatal.
class TlRefCount {
  public:
    TlRefCount() { pthread_mutex_init(&_lk, nullptr); }
    ~TlRefCount() { pthread_mutex_destroy(&_lk); }
    TlRefCount(const TlRefCount&) = delete;
    TlRefCount& operator=(const TlRefCount&) = delete;

    void add() {
        pthread_mutex_lock(&_lk);
        _refCount++;
        pthread_mutex_unlock(&_lk);
    }
    // The references left: the owner destroys itself at 0.
    int32_t drop() {
        pthread_mutex_lock(&_lk);
        TOLM_CHECK_TEXT(_refCount > 0, "_refCount > 0");
        int32_t left = --_refCount;
        pthread_mutex_unlock(&_lk);
        return left;
    }

  private:
    int32_t _refCount = 1;
    pthread_mutex_t _lk;
};
