#include "RpcDeadline.h"

#include <pthread.h>
#include <sys/socket.h>

#include <list>

struct RpcDeadline::Entry {
    int fd;
    timespec deadline;
    bool fired;
};

namespace {

// Guards g_armed, g_started, g_sleeping and g_wake.
pthread_mutex_t g_lock = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_changed;
std::list<RpcDeadline::Entry*>* g_armed = nullptr;
bool g_started = false;
// Whether the watchdog waits for a time (g_wake) or for an entry.
bool g_sleeping = false;
bool g_untilWake = false;
timespec g_wake;

bool before(const timespec& a, const timespec& b) {
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

timespec now() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t;
}

void* watch(void*) {
    pthread_mutex_lock(&g_lock);
    for (;;) {
        timespec t = now();
        const timespec* next = nullptr;
        for (RpcDeadline::Entry* e : *g_armed) {
            if (e->fired)
                continue;
            if (!before(t, e->deadline)) {
                shutdown(e->fd, SHUT_RDWR);
                e->fired = true;
            } else if (next == nullptr || before(e->deadline, *next)) {
                next = &e->deadline;
            }
        }
        g_sleeping = true;
        g_untilWake = next != nullptr;
        if (next == nullptr) {
            pthread_cond_wait(&g_changed, &g_lock);
        } else {
            g_wake = *next;
            pthread_cond_timedwait(&g_changed, &g_lock, &g_wake);
        }
        g_sleeping = false;
    }
    return nullptr;
}

// Called with g_lock held.
void startWatchdog() {
    if (g_started)
        return;
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    pthread_cond_init(&g_changed, &attr);
    pthread_condattr_destroy(&attr);
    g_armed = new std::list<RpcDeadline::Entry*>();
    pthread_t thread;
    if (pthread_create(&thread, nullptr, watch, nullptr) == 0) {
        pthread_detach(thread);
        g_started = true;
    }
}

}  // namespace

timespec RpcDeadline::after(int32_t secs) {
    timespec t = now();
    t.tv_sec += secs;
    return t;
}

int32_t RpcDeadline::secondsLeft(const timespec& deadline) {
    timespec t = now();
    if (!before(t, deadline))
        return 0;
    int64_t ns = (deadline.tv_sec - t.tv_sec) * 1000000000LL + (deadline.tv_nsec - t.tv_nsec);
    return static_cast<int32_t>((ns + 999999999LL) / 1000000000LL);
}

RpcDeadline::RpcDeadline(int fd, const timespec& deadline) : _entry(new Entry{fd, deadline, false}) {
    pthread_mutex_lock(&g_lock);
    startWatchdog();
    g_armed->push_back(_entry);
    // Calls arm a deadline each, nearly always later than the one the
    // watchdog already waits for: it is woken only when this one is sooner.
    if (g_sleeping && (!g_untilWake || before(deadline, g_wake)))
        pthread_cond_signal(&g_changed);
    pthread_mutex_unlock(&g_lock);
}

RpcDeadline::~RpcDeadline() {
    pthread_mutex_lock(&g_lock);
    g_armed->remove(_entry);
    pthread_mutex_unlock(&g_lock);
    delete _entry;
}

bool RpcDeadline::fired() const {
    pthread_mutex_lock(&g_lock);
    bool f = _entry->fired;
    pthread_mutex_unlock(&g_lock);
    return f;
}
