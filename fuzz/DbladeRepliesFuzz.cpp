// Feeds arbitrary bytes, as the reply to a D-blade file operation, to the
// client library's reply codec in the form of the operation the first byte
// picks, and the directory segments of a directory read reply to the segment
// decoder, as TolmDir does. The other half of the bytes' first byte feeds
// them to the request decoder (what the simulated D-blade parses). A damaged
// reply must decode to false or to fields that stay inside the reply.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "TolmDirSegment.h"
#include "TolmFsOp.h"
#include "TolmFsReply.h"
#include "TolmFsRequest.h"

namespace {

const TolmFsOp* const kOps[] = {
    &TolmFsOps::getAttr,        &TolmFsOps::write,   &TolmFsOps::lookup,      &TolmFsOps::readLink,
    &TolmFsOps::readMountPoint, &TolmFsOps::read,    &TolmFsOps::readDir,     &TolmFsOps::create,
    &TolmFsOps::remove,         &TolmFsOps::setAttr, &TolmFsOps::mkDir,       &TolmFsOps::rmDir,
    &TolmFsOps::rename,         &TolmFsOps::link,    &TolmFsOps::configureDM, &TolmFsOps::setattrDM,
};
constexpr size_t kOpCount = sizeof kOps / sizeof kOps[0];

volatile uint8_t g_sink;

void reply(const TolmFsOp& op, const uint8_t* data, size_t size) {
    TolmFsReplyData d;
    // A failure ends the operation before its fields are looked at (but for
    // a lookup's, whose fields a link or mount point needs).
    if (!TolmFsReply::decode(op.reply, data, size, &d) ||
        (TolmFsReply::failed(d.status) && op.reply != TolmFsReplyForm::Lookup))
        return;
    // Every byte handed out lies inside the reply.
    if (d.dataLength > 0)
        g_sink = static_cast<uint8_t>(d.data[0] ^ d.data[d.dataLength - 1]);
    if (op.reply != TolmFsReplyForm::DirSegments)
        return;
    // As TolmDir: copied into the segment buffer, then segment by segment.
    static uint8_t buffer[TolmDirSegment::kMaxReplyBytes];
    memcpy(buffer, d.data, d.dataLength);
    std::vector<TolmDirSegment::Entry> entries;
    for (size_t off = 0; off < d.dataLength; off += TolmDirSegment::kSize) {
        if (TolmDirSegment::decode(buffer + off, &entries) != TolmDirSegment::kOk)
            break;
        for (const auto& e : entries)
            if (e.name.size() >= 1024)
                __builtin_trap();  // a name longer than TolmDir's name buffer
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    uint8_t pick = data[0];
    if (pick & 0x80) {
        TolmFsRequest r;
        if (TolmFsRequest::decode(data + 1, size - 1, &r) && r.op != nullptr &&
            r.params.size() == r.op->words()) {
            g_sink = static_cast<uint8_t>(r.getFid(TolmFsParam::Fid).vnode +
                                          r.getU64(TolmFsParam::Offset));
            if (r.dataLength > 0)
                g_sink = r.data[r.dataLength - 1];
        }
        return 0;
    }
    reply(*kOps[pick % kOpCount], data + 1, size - 1);
    return 0;
}
