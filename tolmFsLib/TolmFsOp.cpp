#include "TolmFsOp.h"

namespace {

using P = TolmFsParam;
using R = TolmFsReplyForm;

constexpr bool kLong = true;
constexpr bool kShort = false;

}  // namespace

namespace TolmFsOps {

// clang-format off
//                        name              opcode specifier long  cred   pf  rlock  n  parameters after the specifier                          reply
const TolmFsOp getAttr        {"getAttr",        1, 0,        kShort, false, 1, true,  1, {P::Fid},                                               R::Attr};
const TolmFsOp write          {"write",          3, 2,        kLong,  true,  4, true,  4, {P::Fid, P::Offset, P::Count, P::ExpectedAdditionalCount}, R::Attr};
const TolmFsOp lookup         {"lookup",         4, 0x10002,  kLong,  true,  1, true,  2, {P::DirFid, P::NameLength},                             R::Lookup};
const TolmFsOp readLink       {"readLink",       5, 2,        kShort, true,  1, true,  1, {P::Fid},                                               R::Data};
const TolmFsOp readMountPoint {"readMountPoint", 5, TOLM_SPEC_READ_MOUNT_POINT, kShort, true, 1, true, 1, {P::Fid},                             R::MountPoint};
const TolmFsOp read           {"read",           6, 2,        kShort, true,  1, true,  4, {P::Fid, P::Offset, P::Count, P::ReadAheadBytes},       R::Data};
const TolmFsOp readDir        {"readDir",        7, 0x200002, kShort, true,  1, true,  2, {P::DirFid, P::Cookie},                                 R::DirSegments};
const TolmFsOp create         {"create",         9, 2,        kLong,  true,  6, true,  3, {P::DirFid, P::SetAttr, P::NameLength},                 R::NewObject};
const TolmFsOp remove         {"remove",        10, 8,        kLong,  true,  6, true,  2, {P::DirFid, P::NameLength},                             R::AttrIfAny};
const TolmFsOp setAttr        {"setAttr",       11, 2,        kShort, true,  5, true,  5, {P::Fid, P::SetAttr, P::GuardBits, P::GuardSecs, P::GuardNsecs}, R::AttrIfAny};
const TolmFsOp mkDir          {"mkDir",         13, 2,        kLong,  true,  6, true,  3, {P::DirFid, P::SetAttr, P::NameLength},                 R::NewObject};
const TolmFsOp rmDir          {"rmDir",         14, 8,        kLong,  true,  6, true,  2, {P::DirFid, P::NameLength},                             R::AttrIfAny};
const TolmFsOp rename         {"rename",        16, 2,        kLong,  true,  7, true,  4, {P::DirFid, P::TargetDirFid, P::NameLength, P::TargetNameLength}, R::AttrIfAny};
const TolmFsOp link           {"link",          17, 2,        kLong,  true,  6, true,  3, {P::DirFid, P::FileFid, P::NameLength},                 R::AttrIfAny};
const TolmFsOp configureDM    {"configureDM",   43, TOLM_SPEC_NO_DM, kShort, true, 0, false, 2, {P::Class0Version, P::Enabled},                 R::Status};
const TolmFsOp setattrDM      {"setattrDM",     44, TOLM_SPEC_NO_DM, kShort, true, 5, true, 4, {P::Fid, P::TypeIndex, P::TypeBits, P::Class0Version}, R::Status};
// clang-format on

}  // namespace TolmFsOps

size_t TolmFsOp::widthOf(TolmFsParam p) {
    switch (p) {
        case P::Fid:
        case P::DirFid:
        case P::TargetDirFid:
        case P::FileFid:
            return 3;
        case P::Offset:
            return 2;
        case P::SetAttr:
            return 13;
        default:
            return 1;
    }
}

size_t TolmFsOp::words() const {
    size_t n = 1;
    for (int i = 0; i < paramCount; i++)
        n += widthOf(params[i]);
    return n;
}

int TolmFsOp::wordOf(TolmFsParam p) const {
    size_t at = 1;
    for (int i = 0; i < paramCount; i++) {
        if (params[i] == p)
            return static_cast<int>(at);
        at += widthOf(params[i]);
    }
    return -1;
}

const TolmFsOp* TolmFsOp::find(uint16_t opcode, uint32_t specifier) {
    static const TolmFsOp* const kAll[] = {
        &TolmFsOps::getAttr, &TolmFsOps::write,       &TolmFsOps::lookup,    &TolmFsOps::readLink,
        &TolmFsOps::read,    &TolmFsOps::readDir,     &TolmFsOps::create,    &TolmFsOps::remove,
        &TolmFsOps::setAttr, &TolmFsOps::mkDir,       &TolmFsOps::rmDir,     &TolmFsOps::rename,
        &TolmFsOps::link,    &TolmFsOps::configureDM, &TolmFsOps::setattrDM,
    };
    if (opcode == TolmFsOps::readMountPoint.opcode && (specifier & TOLM_SPEC_READ_MOUNT_POINT))
        return &TolmFsOps::readMountPoint;
    for (const TolmFsOp* op : kAll)
        if (op->opcode == opcode)
            return op;
    return nullptr;
}
