// The one-thread TCP RPC client on one end of a socket pair, the test playing
// the service on the other: the call record it sends (written out by hand),
// the results it reads, a reply to an earlier call skipped by its xid, the
// statuses of a refused procedure, of results that do not decode, of a
// service that says nothing and of one that hangs up.

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <vector>

#include "RpcWords.h"
#include "TcpRpcClient.h"

namespace {

// One record: the last-fragment mark and the length, then the words.
Bytes record(const std::vector<uint32_t>& w) {
    Bytes b;
    word(b, 0x80000000u | static_cast<uint32_t>(4 * w.size()));
    Bytes body = words(w);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}

// An accepted reply, as one record.
Bytes accepted(uint32_t xid, uint32_t acceptStatus, const std::vector<uint32_t>& results) {
    return record(acceptedWords(xid, acceptStatus, results));
}

struct Pair {
    Pair() {
        int fds[2];
        EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM, 0, fds));
        server = fds[1];
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        client = tcpRpcClient(fds[0], addr, 0x20000305, 1);
    }
    ~Pair() {
        if (client != nullptr)
            clnt_destroy(client);
        if (server >= 0)
            close(server);
    }
    uint32_t nextXid() {
        uint32_t xid = 0;
        EXPECT_TRUE(clnt_control(client, CLGET_XID, reinterpret_cast<char*>(&xid)));
        return xid + 1;
    }
    void reply(const Bytes& b) {
        ASSERT_EQ(static_cast<ssize_t>(b.size()), write(server, b.data(), b.size()));
    }
    Bytes received() {
        Bytes b(4096);
        ssize_t n = recv(server, b.data(), b.size(), MSG_DONTWAIT);
        b.resize(n > 0 ? static_cast<size_t>(n) : 0);
        return b;
    }
    clnt_stat call(uint32_t proc, uint32_t arg, uint32_t* out, timeval t = {25, 0}) {
        return clnt_call(client, proc, reinterpret_cast<xdrproc_t>(xdr_u_int),
                         reinterpret_cast<caddr_t>(&arg), reinterpret_cast<xdrproc_t>(xdr_u_int),
                         reinterpret_cast<caddr_t>(out), t);
    }
    CLIENT* client = nullptr;
    int server = -1;
};

}  // namespace

TEST(TcpRpcClient, SendsTheCallRecordAndReadsItsReply) {
    Pair p;
    ASSERT_NE(p.client, nullptr);
    uint32_t xid = p.nextXid();
    // A reply to an earlier call comes first and is passed over.
    p.reply(accepted(xid - 1, 0, {0xdead}));
    p.reply(accepted(xid, 0, {0x01020304}));
    uint32_t out = 0;
    EXPECT_EQ(RPC_SUCCESS, p.call(39, 0xabcdef01u, &out));
    EXPECT_EQ(out, 0x01020304u);
    // xid, CALL, RPC version 2, program, version, procedure, AUTH_NONE
    // credential and verifier, the argument.
    EXPECT_EQ(p.received(), record({xid, 0, 2, 0x20000305, 1, 39, 0, 0, 0, 0, 0xabcdef01u}));

    // The next call has the next xid.
    p.reply(accepted(xid + 1, 0, {7}));
    EXPECT_EQ(RPC_SUCCESS, p.call(4, 1, &out));
    EXPECT_EQ(out, 7u);
    EXPECT_EQ(p.received(), record({xid + 1, 0, 2, 0x20000305, 1, 4, 0, 0, 0, 0, 1}));
}

TEST(TcpRpcClient, GivesTheStatusesOfTheLibrary) {
    Pair p;
    ASSERT_NE(p.client, nullptr);
    uint32_t out = 0;
    rpc_err err;

    // The service has no such procedure (PROC_UNAVAIL).
    p.reply(accepted(p.nextXid(), 3, {}));
    EXPECT_EQ(RPC_PROCUNAVAIL, p.call(99, 0, &out));
    clnt_geterr(p.client, &err);
    EXPECT_EQ(RPC_PROCUNAVAIL, err.re_status);

    // A version mismatch names the versions it has.
    p.reply(accepted(p.nextXid(), 2, {3, 4}));
    EXPECT_EQ(RPC_PROGVERSMISMATCH, p.call(1, 0, &out));
    clnt_geterr(p.client, &err);
    EXPECT_EQ(3u, err.re_vers.low);
    EXPECT_EQ(4u, err.re_vers.high);

    // Results cut short do not decode.
    p.reply(accepted(p.nextXid(), 0, {}));
    EXPECT_EQ(RPC_CANTDECODERES, p.call(1, 0, &out));

    // Nothing comes back within the time-out.
    EXPECT_EQ(RPC_TIMEDOUT, p.call(1, 0, &out, {0, 200000}));
    (void)p.received();

    // A reply to the call that timed out is passed over by the next call.
    uint32_t late = p.nextXid() - 1;
    p.reply(accepted(late, 0, {5}));
    p.reply(accepted(late + 1, 0, {6}));
    EXPECT_EQ(RPC_SUCCESS, p.call(1, 0, &out));
    EXPECT_EQ(6u, out);

    // The service stops answering (the call goes out, the reply ends before
    // it begins), then hangs up (the call cannot go out).
    shutdown(p.server, SHUT_WR);
    EXPECT_EQ(RPC_CANTRECV, p.call(1, 0, &out));
    close(p.server);
    p.server = -1;
    EXPECT_EQ(RPC_CANTSEND, p.call(1, 0, &out));
}
