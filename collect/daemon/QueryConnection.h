#pragma once

#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One client connection of the query service. Calls arrive record-marked on a
// non-blocking socket and are assembled as their bytes come; each whole call
// is checked (an RPC version 2 call of this program and version, with no
// credentials or AUTH_SYS ones) and handed to the dispatch routine over an RPC
// transport of this connection's own, whose replies are encoded into memory
// and written as the socket takes them. Nothing here ever waits on the peer.
//
// Buffers follow what is under way: the call being assembled (at most
// `maxRecord` bytes, else the connection ends) and the part of the reply the
// socket did not take as it was encoded (a fragment at a time, straight to
// the socket while nothing waits). Both are released when done. While a reply is pending no further call is
// read, so a client that does not read holds at most one reply.
//
// The owner polls fd() for wantsWrite() ? POLLOUT : POLLIN and calls
// onReadable()/onWritable(); a false result means the connection is over and
// is to be destroyed (which closes the descriptor). Single-threaded.
class QueryConnection {
  public:
    using Dispatch = void (*)(svc_req*, SVCXPRT*);

    // Takes ownership of the connected socket `fd` (made non-blocking here).
    QueryConnection(int fd, int64_t nowMs, size_t maxRecord, rpcprog_t program, rpcvers_t version,
                    Dispatch dispatch);
    ~QueryConnection();
    QueryConnection(const QueryConnection&) = delete;
    QueryConnection& operator=(const QueryConnection&) = delete;

    int fd() const { return _fd; }
    // The peer as "ADDRESS:PORT", for log lines.
    const std::string& peer() const { return _peer; }

    // Reads what the socket holds of the current call; dispatches it once
    // whole and starts writing its reply. False when the connection is over:
    // end of stream, a socket error, a record beyond the largest accepted, or
    // bytes that are no call.
    bool onReadable(int64_t nowMs);
    // Writes what the socket takes of the pending reply. False on a socket
    // error.
    bool onWritable(int64_t nowMs);

    bool wantsWrite() const { return _outSent < _out.size(); }
    // Bytes of the pending reply not yet taken by the socket.
    size_t pendingBytes() const { return _out.size() - _outSent; }
    // When the connection was accepted or last carried a whole call.
    int64_t lastUse() const { return _lastUse; }
    // When the client last took a byte of its pending reply, or when that
    // reply was queued; meaningful only while wantsWrite().
    int64_t lastDrain() const { return _lastDrain; }

  private:
    static bool_t getArgs(SVCXPRT* transport, xdrproc_t routine, void* where);
    static bool_t freeArgs(SVCXPRT* transport, xdrproc_t routine, void* where);
    static bool_t reply(SVCXPRT* transport, rpc_msg* message);
    static int appendOut(void* handle, void* bytes, int length);

    // A whole record is in _record: decode the call and dispatch it. False
    // when it is no call at all.
    bool handleRecord();
    bool queueReply(rpc_msg* message);

    int _fd;
    std::string _peer;
    size_t _maxRecord;
    rpcprog_t _program;
    rpcvers_t _version;
    Dispatch _dispatch;
    SVCXPRT _transport;

    // The record mark being read (4 bytes), then its fragment.
    unsigned char _mark[4];
    size_t _markHave = 0;
    size_t _fragmentLeft = 0;
    bool _lastFragment = false;
    bool _inFragment = false;
    std::vector<char> _record;

    // The call being dispatched: its xid and its arguments' stream.
    uint32_t _xid = 0;
    XDR* _args = nullptr;

    // The reply's bytes the socket has not taken yet.
    std::string _out;
    size_t _outSent = 0;
    // The current call's reply: encoded (or failed after part of it went
    // out); bytes of it written straight to the socket; a socket error or a
    // reply cut short, which ends the connection.
    bool _replyStarted = false;
    size_t _writtenThrough = 0;
    bool _broken = false;

    int64_t _lastUse;
    int64_t _lastDrain;
};
