#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "RfPthread.h"
#include "TolmFsReply.h"
#include "TolmFsRequest.h"
#include "TolmFsTypes.h"

class TolmVldb;

// The longest name that one request carries (255 words).
constexpr size_t TOLM_MAX_NAME = 1020;
// Symbolic links and mount points crossed by one lookup: the 255th fails.
constexpr int TOLM_MAX_CROSSINGS = 255;

// The operations on objects of the cluster file system: each builds one
// request of its operation (TolmFsOp.h, TolmFsRequest.h), sends it over Rf to
// the D-blade that serves the object's VFS and decodes the reply by the
// operation's form (TolmFsReply.h). Every operation returns 0 or a status of
// the client library (TolmErr.h): TOLM_ERR_INVALID_PARAMETERS for a null
// required argument, TOLM_ERR_NO_MEMORY when no packet can be had,
// TOLM_ERR_BAD_DOMAIN for credentials with a domain id, an Rf status when the
// call fails, TOLM_ERR_INVALID_DATA for a reply that breaks its form, and
// tolmFsStatus(code) for a D-blade error.
//
// Sending retries at once, up to 3 more times, while the D-blade answers
// TolmFsCode::Busy, BeingCopied or Moving; NoSuchVfs and Offline are retried
// once with the location asked anew, in location-service mode.
//
// An object holds per-call scratch state and is used by one thread at a time.
class TolmObj {
  public:
    // Every object of the process works through this location service client
    // (and its endpoint), set up already.
    explicit TolmObj(TolmVldb* vldb);
    virtual ~TolmObj() = default;
    TolmObj(const TolmObj&) = delete;
    TolmObj& operator=(const TolmObj&) = delete;

    void setCred(const tolm_cred_t& cred) { _cred = cred; }
    void setNoAccessChk(uint32_t on) { _isNoAccessChk = on; }
    void setNoDirTimeChange(uint32_t on) { _isNoDirTimeChange = on; }
    void setNoDm(uint32_t on) { _isNoDm = on; }

    // Resolves a relative path from a directory, one lookup per component.
    // With `follow`, symbolic links and mount points are crossed (at most 254
    // of them together: the 255th gives TOLM_ERR_TOO_MANY_SYMLINKS or
    // TOLM_ERR_TOO_MANY_MOUNTS); a link to an absolute path hands out its text
    // in `absLink` (to be freed with free) and gives TOLM_ERR_ABSOLUTE_SYMLINK.
    // Without `follow` the fid of a link or mount point met on the way is the
    // result. TOLM_ERR_NAME_TOO_LONG for a path over TOLM_MAX_PATH.
    uint32_t lookup(const tolm_fid_t* dir, const char* path, int follow, char** absLink,
                    tolm_fid_t* out);
    uint32_t lookup(const tolm_fid_t* dir, const char* path, char** absLink, tolm_fid_t* out) {
        return lookup(dir, path, 1, absLink, out);
    }
    // The link's text, zero-terminated, into a buffer of TOLM_LINK_BUFFER bytes.
    uint32_t readLink(const tolm_fid_t* fid, tolm_attr_t* attr, char* buffer);
    uint32_t readMountPoint(const tolm_fid_t* fid, tolm_attr_t* attr, tolm_mountpinfo* info);
    uint32_t getAttr(const tolm_fid_t* fid, tolm_attr_t* attr);
    uint32_t setAttr(const tolm_fid_t* fid, const tolm_set_attr_t* set, tolm_attr_t* preAttr);
    uint32_t rename(const tolm_fid_t* fromDir, const tolm_fid_t* toDir, const char* fromName,
                    const char* toName, tolm_attr_t* attr);
    uint32_t link(const tolm_fid_t* dir, const tolm_fid_t* file, const char* name,
                  tolm_attr_t* attr, uint32_t flag);
    uint32_t remove(const tolm_fid_t* dir, const char* name, tolm_attr_t* attr);
    uint32_t configureDM(uint32_t class0Version, uint32_t enabled);
    uint32_t setattrDM(const tolm_fid_t* fid, uint32_t typeIndex, uint32_t typeBits,
                       uint32_t class0Version);

    // Rf calls made by this object (tests and benchmarks count them).
    uint32_t callsMade() const { return _calls; }

  protected:
    // A request of the operation with this object's credentials and flags;
    // `specifierBits` are added to the operation's specifier.
    TolmFsRequest request(const TolmFsOp& op, uint32_t specifierBits = 0) const;
    // The common sending procedure. On 0 the reply holds the whole reply; on a
    // D-blade error (tolmFsStatus of its code) it holds the failing reply.
    // `timeoutSecs` is this call's own Rf time-out (0: the instance's
    // default); it changes nothing that other threads' calls see.
    uint32_t send(const TolmFsRequest& req, uint32_t vfsId, std::vector<uint8_t>* reply,
                  int32_t timeoutSecs = 0);
    // The same for a request that carries one name: its NameLength parameter
    // and the name.
    uint32_t sendNamed(TolmFsRequest& req, uint32_t vfsId, const char* name,
                       std::vector<uint8_t>* reply, int32_t timeoutSecs = 0);
    // A successful reply decoded by the operation's form: 0, or
    // TOLM_ERR_INVALID_DATA when it is cut short or breaks the form.
    static uint32_t decodeReply(const TolmFsOp& op, const std::vector<uint8_t>& reply,
                                TolmFsReplyData* out);
    // The same, handing out the attributes (and for create and mkDir the new
    // fid); a null `attr` is not filled.
    static uint32_t attrReply(const TolmFsOp& op, const std::vector<uint8_t>& reply,
                              tolm_attr_t* attr);
    static uint32_t newObjectReply(const TolmFsOp& op, const std::vector<uint8_t>& reply,
                                   tolm_fid_t* fid, tolm_attr_t* attr);
    // Checks a name argument: TOLM_ERR_INVALID_PARAMETERS when null,
    // TOLM_ERR_EMPTY_FILENAME when empty, TOLM_ERR_NAME_TOO_LONG when longer
    // than TOLM_MAX_NAME.
    static uint32_t checkName(const char* name);

    tolm_attr_t _attrs = {};
    std::string _fileName;
    std::string _volumeName;
    tolm_fid_t _fid = {};
    tolm_cred_t _cred = {};
    uint32_t _isNoAccessChk = 0;
    uint32_t _isNoDirTimeChange = 0;
    uint32_t _isNoDm = 0;
    uint32_t _calls = 0;

    static TolmVldb* _vldb;
    static RfUserEndPoint* _endp;
};
