#include "TolmErr.h"

#include <cstddef>

namespace {

struct CodeText {
    uint32_t code;
    const char* text;
};

template <size_t N>
const char* find(const CodeText (&table)[N], uint32_t code, const char* unknown) {
    for (const CodeText& e : table)
        if (e.code == code)
            return e.text;
    return unknown;
}

constexpr uint32_t c(TolmFsCode code) {
    return static_cast<uint32_t>(code);
}

#define INTERNAL "TolmFsLib Internal Error : "
// Indexed by status - 0x1000001.
const char* const kInternal[] = {
    INTERNAL "Invalid Parameters Passed to TolmFsLib Call",
    INTERNAL "Length of the file name passed exceeds max",
    INTERNAL
    "One of the components of the filename passed to lookup() is a symlink to an "
    "absolute path name",
    INTERNAL "Absolute Path Names are not supported on this tolmFsLib Call",
    INTERNAL "create Mode flag passed to create() call is invalid",
    INTERNAL "End of File Reached",
    INTERNAL "renames are valid only on the same VFS",
    INTERNAL "links are valid only on the same VFS",
    INTERNAL "In use-Vldb mode, Vldb and Dldb hostnames are needed to operate further",
    INTERNAL "use connect only if U want to use tolmFsLib in the non-Vldb mode",
    INTERNAL "Invalid VLDB hostname",
    INTERNAL "Invalid DLDB hostname",
    INTERNAL "Hostname Passed to connect() or returned by DlDb is wrong",
    INTERNAL "Could not establish connection to the Vldb Server",
    INTERNAL "Could not establish connection to the Dldb Server",
    INTERNAL "Could not establish connection to the Dblade",
    INTERNAL "The maximum number of Symlinks, that can be crossed, exceeded",
    INTERNAL "The maximum number of Mount/MountedAt Points, that can be crossed, exceeded",
    INTERNAL "Filenames should be of a Non-Zero Length",
    INTERNAL "Volume Names should be of a Non-Zero Length",
    INTERNAL "An Attempt was made to set ACL entries beyond the Maximum Limit",
    INTERNAL "Dblade Returned Invalid Data",
    INTERNAL "",
    INTERNAL "domain Id passed in the credentials is invalid",
    INTERNAL "The Directory Segment was not of the type(Name Segment Type) expected",
    INTERNAL "Skipping the Current Name Segment",
    INTERNAL "No support for 64 bit VFS IDS yet",
    INTERNAL "Not enough memory to complete operation",
};
#undef INTERNAL
static_assert(sizeof kInternal / sizeof kInternal[0] == 0x1c, "one text per internal status");

#define FS "TolmFs Error : "
const CodeText kFs[] = {
    {c(TolmFsCode::NoSuchVfs), FS "A Vol Op was attempted on a VFS that does not exist"},
    {c(TolmFsCode::VfsExists), FS "VFS already exists"},
    {c(TolmFsCode::InvalidPartition), FS "Invalid Partition"},
    {c(TolmFsCode::RelatedVfsInterrupted), FS "A Vol Op on a related VFS was interrupted"},
    {c(TolmFsCode::RelatedVfsHidden), FS "A related VFS was hidden"},
    {c(TolmFsCode::NoAccess), FS "No Access to perform operation"},
    {c(TolmFsCode::NotFound), FS "Object Not Found"},
    {c(TolmFsCode::InvalidUtf8), FS "Invalid UTF8 character"},
    {c(TolmFsCode::Invalid), FS "Invalid Value"},
    {c(TolmFsCode::NotDir), FS "The object is not a Directory"},
    {c(TolmFsCode::MountPoint), FS "Encountered a bad mountpoint"},
    {c(TolmFsCode::Deleted), FS "An attempt to access an object that is deleted"},
    {c(TolmFsCode::IoError), FS "Internal DISK IO error"},
    {c(TolmFsCode::Exists), FS "Object already exists"},
    {c(TolmFsCode::NotRegular), FS "Not a Regular File"},
    {c(TolmFsCode::WithinVfsOnly), FS "Operation valid only within a VFS"},
    {c(TolmFsCode::NoPermission), FS "No permissions to perform the operation"},
    {c(TolmFsCode::NotEmpty), FS "Directory Not empty"},
    {c(TolmFsCode::IsDir), FS "The object is a Directory"},
    {c(TolmFsCode::NoMemory), FS "Out of memory"},
    {c(TolmFsCode::VfsFull), FS "No Space left on this VFS"},
    {c(TolmFsCode::DeviceFull), FS "No Space left on Device"},
    {c(TolmFsCode::ReadOnly), FS "Read only VFS"},
    {c(TolmFsCode::TooBig), FS "Size Too Big"},
    {c(TolmFsCode::BadDomain), FS "Bad Domain Id"},
    {c(TolmFsCode::Offline), FS "VFS Is currently offline"},
    {c(TolmFsCode::Busy), FS "VFS Busy"},
    {c(TolmFsCode::BeingCopied), FS "VFS Is currently being tolmshoted/mirrored"},
    {c(TolmFsCode::Moving), FS "VFS is moving to another storage pool"},
    {c(TolmFsCode::TooManyCopies), FS "No of VFS tolmshots running has reached the maximum"},
    {c(TolmFsCode::TooManyDeletes), FS "No of VFS Deletes running has reached the maximum"},
};
#undef FS

const CodeText kVldb[] = {
    {105, "Vldb Error : Invalid VfsId"},
    {102, "Vldb Error : VfsName Does not Exist"},
    {119, "Vldb Error : Vldb Record Not Found"},
};

const CodeText kDldb[] = {
    {1, "Dldb Error : Record not found."},
    {3, "Dldb Error : Destination is out of quorum."},
};

const CodeText kPthread[] = {
    {11, "Pthread Error : No resources to create another thread"},
    {1, "Pthread Error : Calling thread does not have the permissions to unlock mutex"},
    {22, "Pthread Error : Mutex Not initialized"},
    {35, "Pthread Error : Mutex already locked by the current thread"},
};

// Note the two blanks after the colon and the trailing blank in most texts.
const char kRpcUnspecified[] = "RPC Error : unspecified error ";
const char kRpcAsync[] = "RPC Error :  Asynchronous Error ";
const CodeText kRpc[] = {
    {1, "RPC Error :  can't encode arguments "},
    {2, "RPC Error :  can't decode results "},
    {3, "RPC Error :  failure in sending call "},
    {4, "RPC Error :  failure in receiving result "},
    {5, "RPC Error :  call timed out "},
    {6, "RPC Error :  rpc versions not compatible "},
    {7, "RPC Error :  authentication error "},
    {8, "RPC Error :  program not available "},
    {9, "RPC Error :  program version mismatched "},
    {10, "RPC Error :  procedure unavailable "},
    {11, "RPC Error :  decode arguments error "},
    {12, "RPC Error :  generic other problem "},
    {13, "RPC Error :  unknown host name "},
    {14, "RPC Error :  portmapper failed in its call "},
    {15, "RPC Error :  remote program is not registered "},
    {16, kRpcUnspecified},
    {17, "RPC Error :  unknown protocol "},
    {18, kRpcUnspecified},
    {19, "RPC Error :  Remote address unknown "},
    {20, kRpcUnspecified},
    {21, "RPC Error :  Broadcasting not supported "},
    {22, "RPC Error :  Name to addr translation failed "},
    {23, kRpcUnspecified},
    {24, kRpcAsync},
    {25, kRpcAsync},
};

}  // namespace

const char* TolmErr::tolmFsLibError(uint32_t status) {
    uint32_t code = status & 0xFFFFFF;
    switch (status >> 24) {
        case 0x01:
            return tolmFsLibInternalError(status);
        case 0x02:
            return tolmFsError(code);
        case 0x03:
            return vldbError(code);
        case 0x04:
            return dldbError(code);
        case 0x05:
            return rfError(static_cast<int16_t>(status & 0xFFFF));
        case 0x06:
            return pthreadError(code);
        case 0x07:
            return rpcClntCallError(code);
        default:
            return "unknown Error";
    }
}

const char* TolmErr::tolmFsLibInternalError(uint32_t status) {
    if (status < TOLM_ERR_INVALID_PARAMETERS || status > TOLM_ERR_NO_MEMORY)
        return "Unknown TolmFsLib Internal Error";
    return kInternal[status - TOLM_ERR_INVALID_PARAMETERS];
}

const char* TolmErr::tolmFsError(uint32_t code) {
    return find(kFs, code, "Unknown TolmFs Error");
}

const char* TolmErr::vldbError(uint32_t code) {
    return find(kVldb, code, "Unknown VLDB Error");
}

const char* TolmErr::dldbError(uint32_t code) {
    return find(kDldb, code, "Unknown DLDB Error");
}

const char* TolmErr::rfError(int16_t code) {
    switch (code) {
        case -3:
            return "RF Error: resend bind";
        case -2:
            return "RF Error: response timeout";
        case -1:
            return "RF Error: call timeout";
        case 1:
            return "RF Error: header error";
        case 2:
            return "RF Error: missing packet";
        default:
            return "Unknown RF Error:";
    }
}

const char* TolmErr::pthreadError(uint32_t code) {
    return find(kPthread, code, "Unknown Pthread Error");
}

const char* TolmErr::rpcClntCallError(uint32_t code) {
    return find(kRpc, code, "Unknown RPC Error");
}
