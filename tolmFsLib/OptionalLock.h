#pragma once

#include <pthread.h>

// Holds a mutex for a scope when there is one (the caches' structures may be
// made with or without an inner mutex).
class OptionalLock {
  public:
    explicit OptionalLock(pthread_mutex_t* m) : _m(m) {
        if (_m)
            pthread_mutex_lock(_m);
    }
    ~OptionalLock() {
        if (_m)
            pthread_mutex_unlock(_m);
    }
    OptionalLock(const OptionalLock&) = delete;
    OptionalLock& operator=(const OptionalLock&) = delete;

  private:
    pthread_mutex_t* _m;
};
