#pragma once

#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "SnapshotSource.h"

// One node's newest records of a type, asked of its daemon's query service
// over a stream socket that the caller's poll loop drives: nothing here
// waits, so one thread can ask many nodes at once. The calls are those of
// DaemonSource::newest: the timestamps, then the records of the newest
// snapshots, all wanted at once sent in one write (the service answers the
// calls of a connection in order); a snapshot that lacks the record is
// replaced by the next older one, until `count` are found or the history is
// exhausted.
class DaemonExchange {
  public:
    // `fd`: a non-blocking stream socket, connected or with its connect on
    // its way; the exchange owns it and closes it. The first call is
    // written at once, as far as the socket takes it.
    DaemonExchange(int fd, RecordType type, size_t count = 2);
    ~DaemonExchange();
    DaemonExchange(const DaemonExchange&) = delete;
    DaemonExchange& operator=(const DaemonExchange&) = delete;

    int fd() const { return _fd; }
    // What to poll for: POLLOUT while a call is not all written, else
    // POLLIN. Errors and hang-ups show in either.
    short events() const;
    // Goes as far as the socket allows without waiting: writes what is
    // left of the calls, reads what has come and acts on every whole reply.
    void advance();

    bool finished() const { return _state != State::Asking; }
    bool failed() const { return _state == State::Failed; }
    // Why it failed: the RPC library's text of the status ("RPC: Procedure
    // unavailable"), or the socket's error.
    const std::string& error() const { return _error; }
    // The connection was refused before any byte was taken: no service
    // listens on that port.
    bool refused() const { return _refused; }
    // Once finished without failure: the records, oldest first.
    std::vector<HistoryEntry> take();

  private:
    enum class State { Asking, Done, Failed };
    // A call out: a record call names its snapshot.
    struct Call {
        bool timestamps;
        uint32_t stamp;
    };

    void ask(rpcproc_t proc, const uint32_t* stamp);
    void askRecords();
    void write();
    void read();
    void takeFragments();
    void reply(const std::string& message);
    void fail(const std::string& why);

    int _fd;
    RecordType _type;
    size_t _count;
    State _state = State::Asking;
    std::string _error;
    bool _refused = false;
    size_t _written = 0;   // bytes of the connection written so far
    std::string _out;      // calls not yet written
    std::string _in;       // bytes read, not yet a whole fragment
    std::string _message;  // the fragments of the reply read so far
    std::map<uint32_t, Call> _calls;
    std::vector<uint32_t> _stamps;
    size_t _older = 0;  // _stamps[0 .. _older) are not asked yet
    std::vector<HistoryEntry> _found;
};
