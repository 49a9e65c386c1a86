#pragma once

#include <time.h>

#include <cstdint>

// Ends a blocking RPC call on a stream socket at a deadline, whatever the
// server sends meanwhile (the RPC library waits its whole time-out again for
// every reply it reads, so a server that keeps sending replies of another xid
// would hold a call for ever). While armed, one process-wide watchdog thread
// shuts the socket down for reading and writing when the deadline passes;
// the call then fails and its handle is to be remade.
//
// Safe for use by many threads at once, each with its own socket.
class RpcDeadline {
  public:
    // A deadline `secs` from now on the monotonic clock.
    static timespec after(int32_t secs);
    // Seconds left until the deadline (0 when it has passed).
    static int32_t secondsLeft(const timespec& deadline);

    // Arms the deadline for the socket, which must stay open until this is
    // destroyed.
    RpcDeadline(int fd, const timespec& deadline);
    // Disarms; once it returns the watchdog no longer touches the socket.
    ~RpcDeadline();
    RpcDeadline(const RpcDeadline&) = delete;
    RpcDeadline& operator=(const RpcDeadline&) = delete;

    // Whether the watchdog shut the socket down.
    bool fired() const;

    // One armed deadline (the watchdog's list holds them).
    struct Entry;

  private:
    Entry* _entry;
};
