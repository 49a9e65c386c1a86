#include <gtest/gtest.h>

#include <string>

#include "TolmErr.h"

namespace {

std::string text(uint32_t status) {
    return TolmErr::tolmFsLibError(status);
}

TEST(TolmErr, EachClassReadsItsOwnPartOfTheStatus) {
    // Rf: the low 16 bits are a signed code.
    EXPECT_EQ("RF Error: call timeout", text(0x5FFFFFF));
    EXPECT_EQ("RF Error: response timeout", text(0x5FFFFFE));
    EXPECT_EQ("RF Error: resend bind", text(0x5FFFFFD));
    EXPECT_EQ("RF Error: header error", text(0x5000001));
    EXPECT_EQ("RF Error: missing packet", text(0x5000002));
    EXPECT_EQ("Unknown RF Error:", text(0x5000003));
    EXPECT_EQ("Unknown RF Error:", text(0x500FFFC));

    EXPECT_EQ("TolmFs Error : Object Not Found", text(0x2000102));
    EXPECT_EQ("TolmFs Error : VFS Busy", text(0x2000120));
    EXPECT_EQ("TolmFs Error : No of VFS Deletes running has reached the maximum", text(0x2000129));
    EXPECT_EQ("Unknown TolmFs Error", text(0x2000000));
    EXPECT_EQ("Unknown TolmFs Error", text(0x2000112));  // 274 has no text

    EXPECT_EQ("TolmFsLib Internal Error : Invalid Parameters Passed to TolmFsLib Call",
              text(0x1000001));
    EXPECT_EQ("TolmFsLib Internal Error : End of File Reached", text(0x1000006));
    EXPECT_EQ("TolmFsLib Internal Error : Dblade Returned Invalid Data", text(0x1000016));
    EXPECT_EQ("TolmFsLib Internal Error : ", text(0x1000017));
    EXPECT_EQ("TolmFsLib Internal Error : Not enough memory to complete operation",
              text(0x100001c));
    EXPECT_EQ("Unknown TolmFsLib Internal Error", text(0x100001d));
    EXPECT_EQ("Unknown TolmFsLib Internal Error", text(0x1000000));

    EXPECT_EQ("Vldb Error : VfsName Does not Exist", text(0x3000066));
    EXPECT_EQ("Vldb Error : Invalid VfsId", text(0x3000069));
    EXPECT_EQ("Vldb Error : Vldb Record Not Found", text(0x3000077));
    EXPECT_EQ("Unknown VLDB Error", text(0x3000001));
    EXPECT_EQ("Dldb Error : Record not found.", text(0x4000001));
    EXPECT_EQ("Dldb Error : Destination is out of quorum.", text(0x4000003));
    EXPECT_EQ("Unknown DLDB Error", text(0x4000002));
    EXPECT_EQ("Pthread Error : No resources to create another thread", text(0x600000b));
    EXPECT_EQ("Pthread Error : Mutex already locked by the current thread", text(0x6000023));
    EXPECT_EQ("Unknown Pthread Error", text(0x6000000));

    EXPECT_EQ("unknown Error", text(0));
    EXPECT_EQ("unknown Error", text(0xFFFFFFFF));
    EXPECT_EQ("unknown Error", text(0x8000001));
    EXPECT_EQ("unknown Error", text(0x0000102));
}

TEST(TolmErr, RpcTextsKeepTheirBlanks) {
    EXPECT_EQ("RPC Error :  can't encode arguments ", text(0x7000001));
    EXPECT_EQ("RPC Error :  failure in receiving result ", text(0x7000004));
    EXPECT_EQ("RPC Error :  remote program is not registered ", text(0x700000f));
    for (uint32_t code : {16u, 18u, 20u, 23u})
        EXPECT_EQ("RPC Error : unspecified error ", text(0x7000000 | code)) << code;
    EXPECT_EQ("RPC Error :  unknown protocol ", text(0x7000011));
    EXPECT_EQ("RPC Error :  Remote address unknown ", text(0x7000013));
    EXPECT_EQ("RPC Error :  Name to addr translation failed ", text(0x7000016));
    EXPECT_EQ("RPC Error :  Asynchronous Error ", text(0x7000018));
    EXPECT_EQ("RPC Error :  Asynchronous Error ", text(0x7000019));
    EXPECT_EQ("Unknown RPC Error", text(0x7000000));
    EXPECT_EQ("Unknown RPC Error", text(0x700001a));
    // The class operations take the code part directly.
    EXPECT_STREQ("RPC Error :  call timed out ", TolmErr::rpcClntCallError(5));
    EXPECT_STREQ("RF Error: call timeout", TolmErr::rfError(-1));
    // How foreign errors are made into statuses.
    EXPECT_EQ(0x5FFFFFFu, tolmErrOf(TOLM_ERR_RF, -1));
    EXPECT_EQ(0x600000bu, tolmErrOf(TOLM_ERR_PTHREAD, 11));
}

}  // namespace
