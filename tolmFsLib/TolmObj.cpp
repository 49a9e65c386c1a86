#include "TolmObj.h"

#include <cstdlib>
#include <cstring>

#include "TolmErr.h"
#include "TolmFsReply.h"
#include "TolmVldb.h"

TolmVldb* TolmObj::_vldb = nullptr;
RfUserEndPoint* TolmObj::_endp = nullptr;

namespace {

constexpr int kBusyRetries = 3;

using P = TolmFsParam;
using Code = TolmFsCode;

uint32_t code(Code c) {
    return static_cast<uint32_t>(c);
}

}  // namespace

TolmObj::TolmObj(TolmVldb* vldb) {
    _vldb = vldb;
    _endp = TolmVldb::getEndPoint();
}

uint32_t TolmObj::decodeReply(const TolmFsOp& op, const std::vector<uint8_t>& reply,
                              TolmFsReplyData* out) {
    return TolmFsReply::decode(op.reply, reply.data(), reply.size(), out) ? 0
                                                                          : TOLM_ERR_INVALID_DATA;
}

uint32_t TolmObj::attrReply(const TolmFsOp& op, const std::vector<uint8_t>& reply,
                            tolm_attr_t* attr) {
    TolmFsReplyData d;
    uint32_t st = decodeReply(op, reply, &d);
    if (st == 0 && attr != nullptr)
        *attr = d.attr;
    return st;
}

uint32_t TolmObj::newObjectReply(const TolmFsOp& op, const std::vector<uint8_t>& reply,
                                 tolm_fid_t* fid, tolm_attr_t* attr) {
    TolmFsReplyData d;
    uint32_t st = decodeReply(op, reply, &d);
    if (st != 0)
        return st;
    *fid = d.fid;
    if (attr != nullptr)
        *attr = d.attr;
    return 0;
}

uint32_t TolmObj::checkName(const char* name) {
    if (name == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (name[0] == '\0')
        return TOLM_ERR_EMPTY_FILENAME;
    if (strlen(name) > TOLM_MAX_NAME)
        return TOLM_ERR_NAME_TOO_LONG;
    return 0;
}

TolmFsRequest TolmObj::request(const TolmFsOp& op, uint32_t specifierBits) const {
    TolmFsRequest req(op);
    if (op.credentials) {
        req.cred = _cred;
        req.flags = static_cast<uint8_t>((_isNoAccessChk ? TOLM_REQ_NO_ACCESS_CHECK : 0) |
                                         (_isNoDirTimeChange ? TOLM_REQ_NO_DIR_TIME_CHANGE : 0));
    }
    req.setSpecifier(req.specifier() | specifierBits | (_isNoDm ? TOLM_SPEC_NO_DM : 0));
    return req;
}

uint32_t TolmObj::send(const TolmFsRequest& req, uint32_t vfsId, std::vector<uint8_t>* reply,
                       int32_t timeoutSecs) {
    reply->clear();
    // Bad credentials are refused whether or not this request carries them.
    if (tolmCredDomainId(_cred) != 0)
        return TOLM_ERR_BAD_DOMAIN;
    std::vector<uint8_t> message = req.encode();
    if (message.size() > static_cast<size_t>(RF_MAX_BODY))
        return TOLM_ERR_INVALID_PARAMETERS;
    uint32_t refresh = 0;
    int busyRetries = 0;
    for (;;) {
        RfPacket* packet = RfUser_allocPacket(_endp);
        if (packet == nullptr)
            return TOLM_ERR_NO_MEMORY;
        nbuf_addIov(packet, message.data(), static_cast<int32_t>(message.size()));
        RfConn* conn = _vldb->getDbladeLockHeld(vfsId, refresh);
        if (conn == nullptr) {
            Rf_freePacket(packet);
            return tolmFsLibErrNo;
        }
        RfPacket* response = nullptr;
        _calls++;
        uint32_t st = TolmVldb::doRfCall(conn, packet, &response, timeoutSecs);
        if (st != 0)
            return st;
        reply->clear();
        while (response != nullptr) {
            RfPacket* next = response->nextp;
            response->nextp = nullptr;
            reply->insert(reply->end(), response->datap, response->datap + response->size);
            Rf_freePacket(response);
            response = next;
        }
        uint32_t status;
        TolmFsReply r(reply->data(), reply->size());
        if (!r.getWord(&status))
            return TOLM_ERR_INVALID_DATA;
        if (!TolmFsReply::failed(status))
            return 0;
        uint32_t error = TolmFsReply::error(status);
        if ((error == code(Code::Busy) || error == code(Code::BeingCopied) ||
             error == code(Code::Moving)) &&
            busyRetries < kBusyRetries) {
            busyRetries++;
            continue;
        }
        // The VFS may have moved: ask where it is now, once.
        if ((error == code(Code::NoSuchVfs) || error == code(Code::Offline)) && _vldb->useVldb() &&
            !refresh) {
            refresh = 1;
            continue;
        }
        return error | TOLM_ERR_FS;
    }
}

uint32_t TolmObj::sendNamed(TolmFsRequest& req, uint32_t vfsId, const char* name,
                            std::vector<uint8_t>* reply, int32_t timeoutSecs) {
    req.set(P::NameLength, static_cast<uint32_t>(strlen(name)));
    req.sourceName = name;
    return send(req, vfsId, reply, timeoutSecs);
}

uint32_t TolmObj::getAttr(const tolm_fid_t* fid, tolm_attr_t* attr) {
    if (fid == nullptr || attr == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    const TolmFsOp& op = TolmFsOps::getAttr;
    TolmFsRequest req = request(op);
    req.setFid(P::Fid, *fid);
    std::vector<uint8_t> reply;
    uint32_t st = send(req, fid->vfs, &reply);
    return st != 0 ? st : attrReply(op, reply, attr);
}

uint32_t TolmObj::setAttr(const tolm_fid_t* fid, const tolm_set_attr_t* set, tolm_attr_t* pre) {
    if (fid == nullptr || set == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    const TolmFsOp& op = TolmFsOps::setAttr;
    TolmFsRequest req = request(op);
    req.setFid(P::Fid, *fid);
    req.setSetAttr(P::SetAttr, *set);
    // No guard: its bits, seconds and nanoseconds stay 0.
    std::vector<uint8_t> reply;
    uint32_t st = send(req, fid->vfs, &reply);
    return st != 0 ? st : attrReply(op, reply, pre);
}

uint32_t TolmObj::readLink(const tolm_fid_t* fid, tolm_attr_t* attr, char* buffer) {
    if (fid == nullptr || buffer == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    const TolmFsOp& op = TolmFsOps::readLink;
    TolmFsRequest req = request(op);
    req.setFid(P::Fid, *fid);
    std::vector<uint8_t> reply;
    uint32_t st = send(req, fid->vfs, &reply);
    TolmFsReplyData d;
    if (st == 0)
        st = decodeReply(op, reply, &d);
    if (st != 0)
        return st;
    if (d.dataLength > TOLM_LINK_BUFFER - 1)
        return TOLM_ERR_INVALID_DATA;
    if (attr != nullptr)
        *attr = d.attr;
    memcpy(buffer, d.data, d.dataLength);
    buffer[d.dataLength] = '\0';
    return 0;
}

uint32_t TolmObj::readMountPoint(const tolm_fid_t* fid, tolm_attr_t* attr, tolm_mountpinfo* info) {
    if (fid == nullptr || info == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    const TolmFsOp& op = TolmFsOps::readMountPoint;
    TolmFsRequest req = request(op);
    req.setFid(P::Fid, *fid);
    std::vector<uint8_t> reply;
    memset(info, 0, sizeof *info);
    uint32_t st = send(req, fid->vfs, &reply);
    TolmFsReplyData d;
    if (st == 0)
        st = decodeReply(op, reply, &d);
    if (st != 0)
        return st;
    if (attr != nullptr)
        *attr = d.attr;
    info->rootvnode = d.rootvnode;
    info->rootunique = d.rootunique;
    info->volnameLength = static_cast<uint32_t>(d.text.size());
    memcpy(info->volname, d.text.data(), d.text.size());
    return 0;
}

uint32_t TolmObj::rename(const tolm_fid_t* fromDir, const tolm_fid_t* toDir, const char* fromName,
                         const char* toName, tolm_attr_t* attr) {
    if (fromDir == nullptr || toDir == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (uint32_t st = checkName(fromName))
        return st;
    if (uint32_t st = checkName(toName))
        return st;
    if (fromDir->vfs != toDir->vfs)
        return TOLM_ERR_RENAME_ACROSS_VFS;
    const TolmFsOp& op = TolmFsOps::rename;
    TolmFsRequest req = request(op);
    req.setFid(P::DirFid, *fromDir);
    req.setFid(P::TargetDirFid, *toDir);
    req.set(P::NameLength, static_cast<uint32_t>(strlen(fromName)));
    req.set(P::TargetNameLength, static_cast<uint32_t>(strlen(toName)));
    req.sourceName = fromName;
    req.targetName = toName;
    std::vector<uint8_t> reply;
    uint32_t st = send(req, fromDir->vfs, &reply);
    return st != 0 ? st : attrReply(op, reply, attr);
}

uint32_t TolmObj::link(const tolm_fid_t* dir, const tolm_fid_t* file, const char* name,
                       tolm_attr_t* attr, uint32_t) {
    if (dir == nullptr || file == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (uint32_t st = checkName(name))
        return st;
    if (dir->vfs != file->vfs)
        return TOLM_ERR_LINK_ACROSS_VFS;
    const TolmFsOp& op = TolmFsOps::link;
    TolmFsRequest req = request(op);
    req.setFid(P::DirFid, *dir);
    req.setFid(P::FileFid, *file);
    std::vector<uint8_t> reply;
    uint32_t st = sendNamed(req, dir->vfs, name, &reply);
    return st != 0 ? st : attrReply(op, reply, attr);
}

uint32_t TolmObj::remove(const tolm_fid_t* dir, const char* name, tolm_attr_t* attr) {
    if (dir == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (uint32_t st = checkName(name))
        return st;
    if (name[0] == '/')
        return TOLM_ERR_ABSOLUTE_PATH;
    const TolmFsOp& op = TolmFsOps::remove;
    TolmFsRequest req = request(op);
    req.setFid(P::DirFid, *dir);
    std::vector<uint8_t> reply;
    uint32_t st = sendNamed(req, dir->vfs, name, &reply);
    return st != 0 ? st : attrReply(op, reply, attr);
}

uint32_t TolmObj::configureDM(uint32_t class0Version, uint32_t enabled) {
    TolmFsRequest req = request(TolmFsOps::configureDM);
    req.set(P::Class0Version, class0Version);
    req.set(P::Enabled, enabled);
    std::vector<uint8_t> reply;
    // Not tied to one VFS: the D-blade of the last object worked on.
    return send(req, _fid.vfs, &reply);
}

uint32_t TolmObj::setattrDM(const tolm_fid_t* fid, uint32_t typeIndex, uint32_t typeBits,
                            uint32_t class0Version) {
    if (fid == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    TolmFsRequest req = request(TolmFsOps::setattrDM);
    req.setFid(P::Fid, *fid);
    req.set(P::TypeIndex, typeIndex);
    req.set(P::TypeBits, typeBits);
    req.set(P::Class0Version, class0Version);
    std::vector<uint8_t> reply;
    return send(req, fid->vfs, &reply);
}

uint32_t TolmObj::lookup(const tolm_fid_t* dir, const char* path, int follow, char** absLink,
                         tolm_fid_t* out) {
    if (dir == nullptr || path == nullptr || out == nullptr)
        return TOLM_ERR_INVALID_PARAMETERS;
    if (strlen(path) > TOLM_MAX_PATH)
        return TOLM_ERR_NAME_TOO_LONG;
    _fileName = path;
    tolm_fid_t current = *dir;
    int crossings = 0;
    std::vector<uint8_t> reply;
    for (;;) {
        if (_fileName == "/") {
            *out = current;
            return 0;
        }
        size_t start = _fileName.find_first_not_of('/');
        if (start == std::string::npos) {
            *out = current;
            return 0;
        }
        size_t stop = _fileName.find('/', start);
        std::string component = _fileName.substr(start, stop - start);
        std::string rest = stop == std::string::npos ? "" : _fileName.substr(stop);
        if (component.size() > TOLM_MAX_NAME)
            return TOLM_ERR_NAME_TOO_LONG;

        TolmFsRequest req = request(TolmFsOps::lookup);
        req.setFid(P::DirFid, current);
        uint32_t st = sendNamed(req, current.vfs, component.c_str(), &reply);
        TolmFsReplyData d;
        bool decoded = !reply.empty() &&
                       TolmFsReply::decode(TolmFsOps::lookup.reply, reply.data(), reply.size(), &d);
        if (decoded)
            _attrs = d.attr;
        const tolm_fid_t& found = d.fid;
        const std::string& text = d.text;
        if (st == 0) {
            if (!decoded)
                return TOLM_ERR_INVALID_DATA;
            current = found;
            _fileName = rest;
            continue;
        }
        bool isLink = st == tolmFsStatus(Code::Symlink);
        bool isMount = st == tolmFsStatus(Code::MountPoint) || st == tolmFsStatus(Code::MountedAt);
        if (!isLink && !isMount)
            return st;
        if (!decoded)
            return TOLM_ERR_INVALID_DATA;
        if (!follow) {
            *out = found;
            return 0;
        }
        if (++crossings >= TOLM_MAX_CROSSINGS)
            return isLink ? TOLM_ERR_TOO_MANY_SYMLINKS : TOLM_ERR_TOO_MANY_MOUNTS;
        if (isLink) {
            std::vector<char> target(TOLM_LINK_BUFFER);
            st = readLink(&found, nullptr, target.data());
            if (st != 0)
                return st;
            if (target[0] == '/') {
                if (absLink != nullptr)
                    *absLink = strdup(target.data());
                return TOLM_ERR_ABSOLUTE_SYMLINK;
            }
            // The link's text takes the place of the component; resolution
            // goes on from the directory that holds the link.
            std::string next = std::string(target.data()) + rest;
            if (next.size() > TOLM_MAX_PATH)
                return TOLM_ERR_NAME_TOO_LONG;
            _fileName = next;
            continue;
        }
        // A mount point: the rest of the path is in the VFS it names.
        if (text.empty() || text.size() > TOLM_MAX_VOLNAME - 1)
            return TOLM_ERR_INVALID_DATA;
        _volumeName = text;
        uint32_t vfsId = 0;
        st = _vldb->getDbladeLockHeld(_volumeName.c_str(), &vfsId, 0);
        if (st != 0)
            return st;
        current = found;
        current.vfs = vfsId;
        _fileName = "/" + rest;
    }
}
