#include "StatsDirMgr.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "SLogger.h"
#include "SnapDir.h"
#include "StampName.h"
#include "TlConnection.h"
#include "TlDirEntArray.h"
#include "TlDirectory.h"
#include "TolmErr.h"
#include "VldbUtil.h"

namespace {

constexpr size_t kStampLength = 15;

// A timestamp directory's name: 15 characters, two numbers joined by "-".
bool isStamp(const std::string& name) {
    unsigned int a;
    unsigned int b;
    return name.size() == kStampLength && sscanf(name.c_str(), "%u-%u", &a, &b) == 2;
}

bool entless(const TlDirEnt* a, const TlDirEnt* b) {
    return strcmp(a->_name.c_str(), b->_name.c_str()) < 0;
}

std::string stampNow() {
    return stampName(static_cast<int32_t>(time(nullptr)));
}

}  // namespace

StatsDirMgr::StatsDirMgr(const std::string& vfsname, int32_t maxSize)
    : _pConn(new TlConnection()), _vfsId(0), _vfsname(vfsname), _maxSize(maxSize) {
    char name[256];
    if (gethostname(name, sizeof name) == 0) {
        name[sizeof name - 1] = '\0';
        _hostname = name;
    } else {
        _hostname = "_unknown_";
    }
}

StatsDirMgr::~StatsDirMgr() {
    _pConn->release();
}

uint32_t StatsDirMgr::callsMade() const {
    return _pConn->callsMade();
}

SnapDir* StatsDirMgr::getSnapDir() {
    if (_vfsId == 0) {
        uint32_t status = VldbUtil::lookupVfsid(_vfsname.c_str(), _vfsId);
        if (status != 0) {
            SLogger::err("Failed to lookup %s: %s (%d)", _vfsname.c_str(),
                         TolmErr::tolmFsLibError(status), static_cast<int>(status));
            return nullptr;
        }
        if (_vfsId == 0) {
            SLogger::debug("stats vfs %s does not exist", _vfsname.c_str());
            return nullptr;
        }
    }
    TlDirectory* root = nullptr;
    uint32_t st = _pConn->getRoot(_vfsId, &root);
    if (st != 0) {
        SLogger::info("Failed to get root: %s (%d)\n", TolmErr::tolmFsLibError(st),
                      static_cast<int>(st));
        return nullptr;
    }
    TlDirectory* host = nullptr;
    st = root->getDirectory(_hostname.c_str(), true, &host);
    if (st != 0) {
        SLogger::err("Failed to get host directory %s: %s (%d)\n", _hostname.c_str(),
                     TolmErr::tolmFsLibError(st), static_cast<int>(st));
        root->release();
        return nullptr;
    }
    prune(host);
    std::string stamp = stampNow();
    TlDirectory* dir = nullptr;
    st = host->getDirectory(stamp.c_str(), true, &dir);
    if (st != 0) {
        SLogger::err("Failed to get timestamp directory %s: %s (%d)\n", stamp.c_str(),
                     TolmErr::tolmFsLibError(st), static_cast<int>(st));
        host->release();
        root->release();
        return nullptr;
    }
    SnapDir* snap = new SnapDir(dir);
    dir->release();
    host->release();
    root->release();
    return snap;
}

void StatsDirMgr::prune(TlDirectory* host) {
    if (_maxSize == -1)
        return;
    SLogger::debug("checking snapshot count");
    // Room for the directory about to be made.
    int32_t keep = _maxSize - 1;
    TlDirEntArray* entries = nullptr;
    uint32_t st = host->enumDirectory(&entries);
    if (st != 0 || entries == nullptr) {
        SLogger::err("Failed to list host directory %s for pruning: %s (%d)\n", _hostname.c_str(),
                     TolmErr::tolmFsLibError(st), static_cast<int>(st));
        return;
    }
    std::vector<TlDirEnt*> stamps;
    for (size_t i = 0; i < entries->length(); i++)
        if ((*entries)[i] != nullptr && isStamp((*entries)[i]->_name))
            stamps.push_back((*entries)[i]);
    int32_t excess = static_cast<int32_t>(stamps.size()) - keep;
    if (excess > 0) {
        std::sort(stamps.begin(), stamps.end(), entless);
        SLogger::debug("pruning %d snapshots", excess);
        for (int32_t i = 0; i < excess; i++) {
            SLogger::debug("deleting %s", stamps[i]->_name.c_str());
            // A directory that stays is counted again at the next persistence.
            std::string refused;
            st = host->removeDir(stamps[i]->_name.c_str(), true, &refused);
            if (st != 0)
                SLogger::err("Failed to prune %s: %s (%d)%s%s\n", stamps[i]->_name.c_str(),
                             TolmErr::tolmFsLibError(st), static_cast<int>(st),
                             refused.empty() ? "" : ", not entering ", refused.c_str());
        }
    }
    delete entries;
}

void StatsDirMgr::dump() {
    TlDirectory* root = nullptr;
    if (_vfsId == 0 || _pConn->getRoot(_vfsId, &root) != 0)
        return;
    TlDirectory* host = nullptr;
    if (root->getDirectory(_hostname.c_str(), false, &host) == 0) {
        printf("%s\n", _hostname.c_str());
        list(host, 1);
        host->release();
    }
    root->release();
}

void StatsDirMgr::list(TlDirectory* dir, int level) {
    TlDirEntArray* entries = nullptr;
    if (dir->enumDirectory(&entries) != 0)
        return;
    for (size_t i = 0; i < entries->length(); i++) {
        const TlDirEnt* e = (*entries)[i];
        printf("%*s%s", 4 * level, "", e->_name.c_str());
        TlDirectory* sub = nullptr;
        dir->getDirectory(*e, &sub);
        bool ok = sub->updateStats() == 0;
        if (ok && sub->getAttrs().filetype == 2) {
            printf("\n");
            list(sub, level + 1);
        } else {
            printf(" %d\n", ok ? static_cast<int>(sub->getAttrs().length) : 0);
        }
        sub->release();
    }
    delete entries;
}
