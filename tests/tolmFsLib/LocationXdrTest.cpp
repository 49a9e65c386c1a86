// The location requests and replies against bytes written out by hand.

#include <gtest/gtest.h>
#include <rpc/rpc.h>

#include <cstring>
#include <vector>

#include "dldb.h"
#include "vldb.h"

namespace {

using Bytes = std::vector<uint8_t>;

template <typename T>
Bytes encode(xdrproc_t proc, T* value) {
    Bytes buffer(4096);
    XDR xdrs;
    xdrmem_create(&xdrs, reinterpret_cast<char*>(buffer.data()), buffer.size(), XDR_ENCODE);
    EXPECT_TRUE(proc(&xdrs, value));
    buffer.resize(xdr_getpos(&xdrs));
    xdr_destroy(&xdrs);
    return buffer;
}

template <typename T>
bool decode(xdrproc_t proc, Bytes bytes, T* value) {
    memset(value, 0, sizeof *value);
    XDR xdrs;
    xdrmem_create(&xdrs, reinterpret_cast<char*>(bytes.data()), bytes.size(), XDR_DECODE);
    bool ok = proc(&xdrs, value);
    xdr_destroy(&xdrs);
    return ok;
}

TEST(LocationXdr, RequestsOfTheThreeVldbProceduresAndTheDldbProcedure) {
    stream_vfsid_lookup_input byId = {0x01020304, 0};
    EXPECT_EQ((Bytes{0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0}),
              encode(reinterpret_cast<xdrproc_t>(xdr_stream_vfsid_lookup_input), &byId));

    // The name "a" travels with its zero byte: length 2, padded to 4.
    char a[] = "a";
    stream_mount_lookup_input byName;
    byName.context = 0;
    byName.mntpt.mntpt_len = 2;
    byName.mntpt.mntpt_val = a;
    EXPECT_EQ((Bytes{0, 0, 0, 0, 0, 0, 0, 2, 'a', 0, 0, 0}),
              encode(reinterpret_cast<xdrproc_t>(xdr_stream_mount_lookup_input), &byName));

    Did did = 0xBEEF;
    EXPECT_EQ((Bytes{0, 0, 0xBE, 0xEF}), encode(reinterpret_cast<xdrproc_t>(xdr_Did), &did));

    // A record lookup by name, with a uuid set so that its 16 bytes show as
    // 16 units of 4 bytes.
    vldb_record_lookup_input rec;
    memset(&rec, 0, sizeof rec);
    char empty[] = "";
    char name[] = "stats";
    rec.input_mask = 2;
    rec.r.family = empty;
    rec.r.vfsname = name;
    for (int i = 0; i < 16; i++)
        rec.r.lp_uuid[i] = static_cast<u_char>(0xA0 + i);
    rec.r.dataVer = 0x0102030405060708ULL;
    rec.r.exportRuleset = 0xFFFF;
    // clang-format off
    Bytes expected = {
        0, 0, 0, 2,                        // input_mask
        0, 0, 0, 0,                        // vfsid
        0, 0, 0, 0,                        // family: empty string
        0, 0, 0, 5, 's', 't', 'a', 't',    // vfsname
        's', 0, 0, 0,                      //   padded to 4
        0, 0, 0, 0,                        // vserver
        0, 0, 0, 0,                        // vfstype
        0, 0, 0, 0, 0, 0, 0, 0,            // crtime: secs, nsecs
        0, 0, 0, 0xA0, 0, 0, 0, 0xA1, 0, 0, 0, 0xA2, 0, 0, 0, 0xA3,  // lp_uuid
        0, 0, 0, 0xA4, 0, 0, 0, 0xA5, 0, 0, 0, 0xA6, 0, 0, 0, 0xA7,
        0, 0, 0, 0xA8, 0, 0, 0, 0xA9, 0, 0, 0, 0xAA, 0, 0, 0, 0xAB,
        0, 0, 0, 0xAC, 0, 0, 0, 0xAD, 0, 0, 0, 0xAE, 0, 0, 0, 0xAF,
        0, 0, 0, 0,                        // is_root
        1, 2, 3, 4, 5, 6, 7, 8,            // dataVer
        0, 0, 0, 0,                        // appId
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // appData[8]
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0, 0, 0xFF, 0xFF,                  // exportRuleset: a u_short in 4 bytes
    };
    // clang-format on
    EXPECT_EQ(expected, encode(reinterpret_cast<xdrproc_t>(xdr_vldb_record_lookup_input), &rec));
}

TEST(LocationXdr, RepliesDecodeWhateverTheirArraysHold) {
    // result 0 with no D-blade: decodes; the caller must not take element 0.
    stream_vfsid_lookup_result byId;
    ASSERT_TRUE(decode(reinterpret_cast<xdrproc_t>(xdr_stream_vfsid_lookup_result),
                       Bytes{0, 0, 0, 0, 0, 0, 0, 9, 0, 0, 0, 7, 0, 0, 0, 0, 0, 0, 0, 3}, &byId));
    EXPECT_EQ(0u, byId.result);
    EXPECT_EQ(9u, byId.context);
    EXPECT_EQ(7u, byId.vserver);
    EXPECT_EQ(0u, byId.dblade_id.dblade_id_len);
    EXPECT_EQ(3, byId.exportRuleset);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_stream_vfsid_lookup_result),
             reinterpret_cast<char*>(&byId));

    stream_mount_lookup_result byName;
    ASSERT_TRUE(decode(reinterpret_cast<xdrproc_t>(xdr_stream_mount_lookup_result),
                       Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0x80, 0, 0, 0x2A,  //
                             0, 0, 0, 2, 0, 0, 0, 5, 0, 0, 0, 6},
                       &byName));
    EXPECT_EQ(0x8000002Au, byName.vfsid);
    ASSERT_EQ(2u, byName.dblade_id.dblade_id_len);
    EXPECT_EQ(5, byName.dblade_id.dblade_id_val[0]);
    EXPECT_EQ(6, byName.dblade_id.dblade_id_val[1]);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_stream_mount_lookup_result),
             reinterpret_cast<char*>(&byName));

    // A D-blade out of quorum with its address.
    DldbGetRes res;
    ASSERT_TRUE(decode(reinterpret_cast<xdrproc_t>(xdr_DldbGetRes),
                       Bytes{0, 0, 0, 3, 0,   0,   0,   1,   0,   0, 0x1B, 0x6C,  //
                             0, 0, 0, 5, 'h', 'o', 's', 't', '1', 0, 0,    0},
                       &res));
    EXPECT_EQ(DLDB_STATUS_NODE_UNHEALTHY, res.status);
    ASSERT_EQ(1u, res.host.host_len);
    EXPECT_EQ(7020, res.host.host_val[0].port);
    EXPECT_STREQ("host1", res.host.host_val[0].name);
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_DldbGetRes), reinterpret_cast<char*>(&res));

    // Cut short: the RPC library reports it as a result that does not decode.
    EXPECT_FALSE(decode(reinterpret_cast<xdrproc_t>(xdr_DldbGetRes),
                        Bytes{0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0x1B}, &res));
    xdr_free(reinterpret_cast<xdrproc_t>(xdr_DldbGetRes), reinterpret_cast<char*>(&res));
}

}  // namespace
