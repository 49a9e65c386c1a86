#include "StatsDirMgr.h"

#include <unistd.h>

#include <rpc/rpc.h>

#include "SLogger.h"
#include "VldbUtil.h"

StatsDirMgr::StatsDirMgr(const std::string& vfsname, int32_t maxSize)
    : _vfsId(0), _vfsname(vfsname), _maxSize(maxSize) {
    char name[256];
    if (gethostname(name, sizeof name) == 0) {
        name[sizeof name - 1] = '\0';
        _hostname = name;
    } else {
        _hostname = "_unknown_";
    }
}

namespace {

// The text of a lookup status: the VLDB unreachable, or an RPC call status.
const char* lookupError(uint32_t status) {
    if (status == static_cast<uint32_t>(-1)) return "cannot create a client of the VLDB";
    return clnt_sperrno(static_cast<enum clnt_stat>(status));
}

}  // namespace

SnapDir* StatsDirMgr::getSnapDir() {
    if (_vfsId == 0) {
        uint32_t status = VldbUtil::lookupVfsid(_vfsname.c_str(), _vfsId);
        if (status != 0) {
            SLogger::err("Failed to lookup %s: %s (%d)", _vfsname.c_str(), lookupError(status),
                         static_cast<int>(status));
            return nullptr;
        }
        if (_vfsId == 0) {
            SLogger::debug("stats vfs %s does not exist", _vfsname.c_str());
            return nullptr;
        }
    }
    SLogger::info("stats vfs %s has id %u; persistence into the volume is not available in this build",
                  _vfsname.c_str(), _vfsId);
    return nullptr;
}
