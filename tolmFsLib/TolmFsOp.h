#pragma once

#include <cstddef>
#include <cstdint>

// The file operations of the D-blade file service, one row each: what the
// client library sends and what the reply carries. The request codec
// (TolmFsRequest.h) builds and reads parameters by name through these rows,
// on the library's side and on the simulated D-blade's alike, so no parameter
// position is written anywhere else.

// The parameters that follow a request's specifier, by name.
enum class TolmFsParam : uint8_t {
    Fid,           // 3 words: vfs, vnode, unique
    DirFid,        // 3 words: the directory an operation works in
    TargetDirFid,  // 3 words: rename's target directory
    FileFid,       // 3 words: link's file
    Offset,        // 2 words: a 64-bit value, low word first on this host
    Count,
    ExpectedAdditionalCount,
    ReadAheadBytes,
    Cookie,
    SetAttr,  // 13 words (TolmFsRequest.h)
    NameLength,
    TargetNameLength,
    GuardBits,
    GuardSecs,
    GuardNsecs,
    Class0Version,
    Enabled,
    TypeIndex,
    TypeBits,
};

// What a successful reply carries after its status word (TolmFsReply.h).
enum class TolmFsReplyForm : uint8_t {
    Status,       // nothing more
    Attr,         // the object's (or the directory's) attributes
    AttrIfAny,    // attributes when the D-blade sends them (a layout it chooses)
    NewObject,    // one word, the new fid, its attributes
    Lookup,       // fid, attributes, a counted text (also on a link or mount point)
    Data,         // attributes, then as many bytes as the status's count
    MountPoint,   // attributes, root vnode and uniquifier, a counted VFS name
    DirSegments,  // attributes, then whole 2048-byte directory segments
};

struct TolmFsOp {
    static constexpr int kMaxParams = 6;

    const char* name;
    uint16_t opcode;  // version_opcode
    // The specifier's fixed bits; create adds its mode, type and exclusive
    // bits, and every operation 0x1000 when data management is off.
    uint32_t specifier;
    bool longForm;     // a name or write data follows the parameters
    bool credentials;  // getAttr alone goes without
    uint8_t prefetch;  // prefetch_info of dchip_flags
    bool readlock;     // readlock_vfsid of dchip_flags
    uint8_t paramCount;
    TolmFsParam params[kMaxParams];  // after the specifier, in order
    TolmFsReplyForm reply;

    // 32-bit words of the parameters, the specifier included.
    size_t words() const;
    // The word of the parameters where `p` begins (the specifier is word 0),
    // or -1 when this operation has no such parameter.
    int wordOf(TolmFsParam p) const;
    static size_t widthOf(TolmFsParam p);
    // The row of a received request: by opcode, and for opcode 5 by the
    // specifier's mount-point bit. Null for an unknown opcode.
    static const TolmFsOp* find(uint16_t opcode, uint32_t specifier);
};

// Specifier bits that are not an operation's own.
constexpr uint32_t TOLM_SPEC_NO_DM = 0x1000;
constexpr uint32_t TOLM_SPEC_READ_MOUNT_POINT = 0x80;
constexpr uint32_t TOLM_SPEC_EXCLUSIVE = 0x800;

namespace TolmFsOps {
extern const TolmFsOp getAttr;
extern const TolmFsOp write;
extern const TolmFsOp lookup;
extern const TolmFsOp readLink;
extern const TolmFsOp readMountPoint;
extern const TolmFsOp read;
extern const TolmFsOp readDir;
extern const TolmFsOp create;
extern const TolmFsOp remove;
extern const TolmFsOp setAttr;
extern const TolmFsOp mkDir;
extern const TolmFsOp rmDir;
extern const TolmFsOp rename;
extern const TolmFsOp link;
extern const TolmFsOp configureDM;
extern const TolmFsOp setattrDM;
}  // namespace TolmFsOps
