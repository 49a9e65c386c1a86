#pragma once

#include <cstdint>

// The texts of the client library's 32-bit statuses. A status is 0 for
// success, otherwise a class in its top byte and a code in the rest:
//   0x01 library internal (the whole status, 0x1000001 to 0x100001c)
//   0x02 D-blade file system error (low 24 bits)
//   0x03 VLDB result, 0x04 DLDB status (low 24 bits)
//   0x05 Rf transport (low 16 bits, a signed 16-bit error)
//   0x06 thread library error number, 0x07 ONC RPC call status (low 24 bits)
// Every text is a constant string; nothing is allocated. A code without an
// entry gives its class's text for unknown codes; any other top byte, a status
// of 0 and the all-ones status give "unknown Error".
class TolmErr {
  public:
    static const char* tolmFsLibError(uint32_t status);

    static const char* tolmFsLibInternalError(uint32_t status);
    static const char* tolmFsError(uint32_t code);
    static const char* vldbError(uint32_t code);
    static const char* dldbError(uint32_t code);
    static const char* rfError(int16_t code);
    static const char* pthreadError(uint32_t code);
    static const char* rpcClntCallError(uint32_t code);
};

// Status classes (top byte) and how a foreign error becomes a status.
constexpr uint32_t TOLM_ERR_INTERNAL = 0x1000000;
constexpr uint32_t TOLM_ERR_FS = 0x2000000;
constexpr uint32_t TOLM_ERR_VLDB = 0x3000000;
constexpr uint32_t TOLM_ERR_DLDB = 0x4000000;
constexpr uint32_t TOLM_ERR_RF = 0x5000000;
constexpr uint32_t TOLM_ERR_PTHREAD = 0x6000000;
constexpr uint32_t TOLM_ERR_RPC = 0x7000000;

inline uint32_t tolmErrOf(uint32_t cls, int64_t code) {
    return (static_cast<uint32_t>(code) & 0xFFFFFF) | cls;
}

// The error codes of the D-blade file service. A failed reply carries one in
// bits 8-27 of its status word; the library hands it on as TOLM_ERR_FS | code
// (tolmFsStatus). The client, the persistence code, the tools and the
// simulated D-blade all name the codes from here.
enum class TolmFsCode : uint32_t {
    NoSuchVfs = 16,
    VfsExists = 17,
    InvalidPartition = 19,
    RelatedVfsInterrupted = 23,
    RelatedVfsHidden = 32,
    NoAccess = 256,
    Symlink = 257,  // a lookup met a symbolic link
    NotFound = 258,
    InvalidUtf8 = 259,
    Invalid = 260,
    NotDir = 261,
    MountPoint = 262,  // a lookup met a mount point
    Deleted = 263,
    IoError = 264,
    Exists = 265,
    NotRegular = 266,
    WithinVfsOnly = 267,
    NoPermission = 268,
    NotEmpty = 269,
    IsDir = 271,
    NoMemory = 272,
    VfsFull = 276,
    DeviceFull = 277,
    ReadOnly = 278,
    TooBig = 279,
    MountedAt = 283,  // a lookup met the root of a mounted VFS
    BadDomain = 284,
    Offline = 287,
    Busy = 288,
    BeingCopied = 292,
    Moving = 295,
    TooManyCopies = 296,
    TooManyDeletes = 297,
};

constexpr uint32_t tolmFsStatus(TolmFsCode code) {
    return TOLM_ERR_FS | static_cast<uint32_t>(code);
}

// The library's own statuses.
constexpr uint32_t TOLM_ERR_INVALID_PARAMETERS = 0x1000001;
constexpr uint32_t TOLM_ERR_NAME_TOO_LONG = 0x1000002;
constexpr uint32_t TOLM_ERR_ABSOLUTE_SYMLINK = 0x1000003;
constexpr uint32_t TOLM_ERR_ABSOLUTE_PATH = 0x1000004;
constexpr uint32_t TOLM_ERR_CREATE_MODE = 0x1000005;
constexpr uint32_t TOLM_ERR_END_OF_FILE = 0x1000006;
constexpr uint32_t TOLM_ERR_RENAME_ACROSS_VFS = 0x1000007;
constexpr uint32_t TOLM_ERR_LINK_ACROSS_VFS = 0x1000008;
constexpr uint32_t TOLM_ERR_NEED_HOSTS = 0x1000009;
constexpr uint32_t TOLM_ERR_CONNECT_IN_VLDB_MODE = 0x100000a;
constexpr uint32_t TOLM_ERR_VLDB_HOST = 0x100000b;
constexpr uint32_t TOLM_ERR_DLDB_HOST = 0x100000c;
constexpr uint32_t TOLM_ERR_BAD_HOST = 0x100000d;
constexpr uint32_t TOLM_ERR_VLDB_CONNECT = 0x100000e;
constexpr uint32_t TOLM_ERR_DLDB_CONNECT = 0x100000f;
constexpr uint32_t TOLM_ERR_DBLADE_CONNECT = 0x1000010;
constexpr uint32_t TOLM_ERR_TOO_MANY_SYMLINKS = 0x1000011;
constexpr uint32_t TOLM_ERR_TOO_MANY_MOUNTS = 0x1000012;
constexpr uint32_t TOLM_ERR_EMPTY_FILENAME = 0x1000013;
constexpr uint32_t TOLM_ERR_EMPTY_VOLUME_NAME = 0x1000014;
constexpr uint32_t TOLM_ERR_TOO_MANY_ACLS = 0x1000015;
constexpr uint32_t TOLM_ERR_INVALID_DATA = 0x1000016;
constexpr uint32_t TOLM_ERR_GENERIC = 0x1000017;
constexpr uint32_t TOLM_ERR_BAD_DOMAIN = 0x1000018;
constexpr uint32_t TOLM_ERR_NOT_NAME_SEGMENT = 0x1000019;
constexpr uint32_t TOLM_ERR_SKIP_SEGMENT = 0x100001a;
constexpr uint32_t TOLM_ERR_NO_64BIT_VFSIDS = 0x100001b;
constexpr uint32_t TOLM_ERR_NO_MEMORY = 0x100001c;
