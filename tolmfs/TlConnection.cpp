#include "TlConnection.h"

#include <unistd.h>

#include <cstdlib>
#include <set>
#include <tuple>
#include <vector>

#include "Check.h"
#include "TlDirEntArray.h"
#include "TlDirectory.h"
#include "TlFile.h"
#include "TolmDir.h"
#include "TolmErr.h"
#include "TolmFile.h"
#include "TolmVldb.h"

namespace {

constexpr uint32_t kNotFound = tolmFsStatus(TolmFsCode::NotFound);
constexpr uint32_t kExists = tolmFsStatus(TolmFsCode::Exists);
constexpr uint32_t kNotRegular = tolmFsStatus(TolmFsCode::NotRegular);

bool isRf(uint32_t st) {
    return (st >> 24) == (TOLM_ERR_RF >> 24);
}

// Runs an operation up to MAX_RETRIES times while it fails with an Rf status.
template <typename Op>
uint32_t retried(Op op) {
    uint32_t st = 0;
    for (int i = 0; i < TlConnection::MAX_RETRIES; i++) {
        st = op();
        if (!isRf(st))
            break;
    }
    return st;
}

}  // namespace

TlConnection::TlConnection() {
    setUp("localhost", "localhost", 10);
}

TlConnection::TlConnection(const char* vldbHost, const char* dldbHost) {
    setUp(vldbHost, dldbHost, 1);
}

// The third number is not used by the location client.
void TlConnection::setUp(const char* vldbHost, const char* dldbHost, uint32_t unused) {
    _pvldb = new TolmVldb();
    _pvldb->setUseVldb(1);
    _setupStatus = _pvldb->create(vldbHost, dldbHost, unused);
    initialize();
}

TlConnection::TlConnection(const char* host) {
    _pvldb = new TolmVldb();
    _pvldb->setUseVldb(0);
    _setupStatus = _pvldb->create();
    if (_setupStatus == 0)
        _setupStatus = _pvldb->connect(host != nullptr ? host : "localhost", STANDALONE_PORT);
    initialize();
}

void TlConnection::initialize() {
    tolm_cred_t cred = {};
    cred.uid = geteuid();
    cred.gid = getegid();
    _ptolmFile = new TolmFile(_pvldb);
    _ptolmDir = new TolmDir(_pvldb);
    _ptolmFile->setCred(cred);
    _ptolmDir->setCred(cred);
}

TlConnection::~TlConnection() {
    delete _ptolmFile;
    delete _ptolmDir;
    _pvldb->destroy();
    delete _pvldb;
}

void TlConnection::addRef() {
    _refs.add();
}

void TlConnection::release() {
    if (_refs.drop() == 0)
        delete this;
}

uint32_t TlConnection::callsMade() const {
    return _ptolmFile->callsMade() + _ptolmDir->callsMade();
}

// The first such call sets the Rf call time-out; marked as the user's, the
// library leaves it alone from then on.
void TlConnection::setTimeouts() {
    _pvldb->setRfDefaultCallTimeout(TOLMOP_TIMEOUT);
    _pvldb->setUserSpecificRfTimeouts(1);
}

uint32_t TlConnection::getObject(uint32_t vfsId, TlDirectory* parent, const char* name, bool create,
                                 bool directory, tolm_fid_t* fid, tolm_attr_t* attr,
                                 bool* created) {
    if (_setupStatus != 0)
        return _setupStatus;
    setTimeouts();
    tolm_set_attr_t set = {};
    set.how = TOLM_SET_MODE | TOLM_SET_UID | TOLM_SET_GID;
    set.mode = directory ? 0755 : 0644;
    tolm_fid_t parentFid =
        parent != nullptr ? parent->getFid() : tolm_fid_t{vfsId, TOLM_INO_ROOT, 0};
    *created = false;
    uint32_t st = 0;
    for (int pass = 0; pass < 2; pass++) {
        st = retried([&] {
            char* absLink = nullptr;
            uint32_t s = _ptolmFile->lookup(&parentFid, name, &absLink, fid);
            free(absLink);
            return s;
        });
        if (st == 0)
            return retried([&] { return _ptolmFile->getAttr(fid, attr); });
        if (st != kNotFound || !create)
            return st;
        st = retried([&] {
            return directory ? _ptolmDir->mkDir(&parentFid, name, &set, fid, attr, 0)
                             : _ptolmFile->create(&parentFid, name, &set, TOLM_CREATE_DEFAULT, fid,
                                                  attr, 0);
        });
        // Made by another client in between: look again.
        if (st == kExists)
            continue;
        *created = st == 0;
        return st;
    }
    return st;
}

uint32_t TlConnection::getRoot(uint32_t vfsId, TlDirectory** out) {
    return getDirectory(vfsId, nullptr, "/", false, out);
}

uint32_t TlConnection::getDirectory(uint32_t vfsId, TlDirectory* parent, const char* name,
                                    bool create, TlDirectory** out) {
    TOLM_CHECK_TEXT(name && *name, "name && *name");
    TOLM_CHECK_TEXT(out, "ppDir");
    *out = nullptr;
    tolm_fid_t fid = {};
    tolm_attr_t attr = {};
    bool created;
    uint32_t st = getObject(vfsId, parent, name, create, true, &fid, &attr, &created);
    if (st == 0)
        *out = new TlDirectory(this, parent, name, fid, attr);
    return st;
}

uint32_t TlConnection::getFile(TlDirectory* parent, const char* name, bool create, TlFile** out) {
    TOLM_CHECK_TEXT(parent, "pparent");
    TOLM_CHECK_TEXT(name && *name, "name && *name");
    TOLM_CHECK_TEXT(out, "ppFile");
    *out = nullptr;
    tolm_fid_t fid = {};
    tolm_attr_t attr = {};
    bool created;
    uint32_t st =
        getObject(parent->getFid().vfs, parent, name, create, false, &fid, &attr, &created);
    if (st == 0)
        *out = new TlFile(this, parent, name, fid, attr, created);
    return st;
}

uint32_t TlConnection::enumDir(const tolm_fid_t& fid, TlDirEntArray** out, tolm_attr_t* attr) {
    TOLM_CHECK_TEXT(out, "pparray");
    *out = nullptr;
    if (_setupStatus != 0)
        return _setupStatus;
    TlDirEntArray* array = new TlDirEntArray(fid);
    struct Ctx {
        TlDirEntArray* array;
        uint32_t vfs;
    } ctx{array, fid.vfs};
    uint32_t st = retried([&] {
        // An attempt that failed half way starts again from an empty array,
        // so that no name is listed twice.
        array->clear();
        uint32_t count = 0;
        uint32_t s = _ptolmDir->readDir(
            &fid, 0, &count, attr,
            [](void* arg, const char* name, uint32_t inode, uint32_t uniq, uint32_t) {
                Ctx* c = static_cast<Ctx*>(arg);
                c->array->add(new TlDirEnt(name, tolm_fid_t{c->vfs, inode, uniq}));
                return 0;
            },
            &ctx);
        return s == TOLM_ERR_END_OF_FILE ? 0 : s;
    });
    if (st != 0) {
        delete array;
        return st;
    }
    *out = array;
    return 0;
}

uint32_t TlConnection::readFile(const tolm_fid_t& fid, void* buffer, uint64_t offset,
                                uint32_t length, uint32_t* bytesRead, tolm_attr_t* attr) {
    TOLM_CHECK_TEXT(buffer, "buf");
    TOLM_CHECK_TEXT(bytesRead, "pbytesRead");
    if (_setupStatus != 0)
        return _setupStatus;
    setTimeouts();
    uint64_t got = 0;
    uint32_t st =
        retried([&] { return _ptolmFile->read(&fid, offset, length, 0, &got, buffer, attr); });
    *bytesRead = static_cast<uint32_t>(got);
    return st;
}

uint32_t TlConnection::writeFile(const tolm_fid_t& fid, const void* buffer, uint64_t offset,
                                 uint32_t length, tolm_attr_t* attr) {
    TOLM_CHECK_TEXT(buffer, "buf");
    if (_setupStatus != 0)
        return _setupStatus;
    setTimeouts();
    return retried([&] { return _ptolmFile->write(&fid, offset, length, buffer, attr); });
}

uint32_t TlConnection::stat(const tolm_fid_t& fid, tolm_attr_t* attr) {
    TOLM_CHECK_TEXT(attr, "pattr");
    if (_setupStatus != 0)
        return _setupStatus;
    return retried([&] { return _ptolmFile->getAttr(&fid, attr); });
}

uint32_t TlConnection::truncate(const tolm_fid_t& fid, uint64_t length) {
    if (_setupStatus != 0)
        return _setupStatus;
    tolm_set_attr_t set = {};
    set.how = TOLM_SET_SIZE;
    set.size = length;
    tolm_attr_t before;
    return retried([&] { return _ptolmFile->setAttr(&fid, &set, &before); });
}

uint32_t TlConnection::remove(const tolm_fid_t& parent, const char* name, tolm_attr_t* attr) {
    TOLM_CHECK_TEXT(name, "name");
    if (_setupStatus != 0)
        return _setupStatus;
    return retried([&] { return _ptolmFile->remove(&parent, name, attr); });
}

uint32_t TlConnection::removeDir(const tolm_fid_t& parent, const char* name, tolm_attr_t* attr) {
    TOLM_CHECK_TEXT(name, "name");
    if (_setupStatus != 0)
        return _setupStatus;
    return retried([&] { return _ptolmDir->rmDir(&parent, name, attr); });
}

uint32_t TlConnection::removeDirRecursive(const tolm_fid_t& parent, const char* name,
                                          tolm_attr_t* attr, std::string* refused) {
    TOLM_CHECK_TEXT(name, "name");
    if (_setupStatus != 0)
        return _setupStatus;
    tolm_fid_t fid;
    uint32_t st = retried([&] {
        char* absLink = nullptr;
        uint32_t s = _ptolmFile->lookup(&parent, name, &absLink, &fid);
        free(absLink);
        return s;
    });
    if (st != 0)
        return st;
    auto key = [](const tolm_fid_t& f) { return std::make_tuple(f.vfs, f.vnode, f.unique); };
    std::set<std::tuple<uint32_t, uint32_t, uint32_t>> entered = {key(fid)};
    std::vector<RemoveFrame> stack;
    stack.push_back(emptyFiles(fid, name, name));
    bool refusedAny = false;
    while (!stack.empty()) {
        RemoveFrame& top = stack.back();
        if (top.next == top.subdirs.size()) {
            // Emptied: it goes from its parent (the first one is removed below).
            RemoveFrame done = std::move(top);
            stack.pop_back();
            tolm_attr_t dirAttr;
            if (!stack.empty())
                removeDir(stack.back().fid, done.name.c_str(), &dirAttr);
            continue;
        }
        const auto& sub = top.subdirs[top.next++];
        std::string path = top.path + "/" + sub.first;
        if (!entered.insert(key(sub.second)).second || stack.size() > kMaxRemoveDepth) {
            if (!refusedAny && refused != nullptr)
                *refused = path;
            refusedAny = true;
            continue;
        }
        RemoveFrame next = emptyFiles(sub.second, sub.first, path);
        stack.push_back(std::move(next));
    }
    st = removeDir(parent, name, attr);
    return refusedAny ? TOLM_ERR_INVALID_DATA : st;
}

TlConnection::RemoveFrame TlConnection::emptyFiles(const tolm_fid_t& dir, const std::string& name,
                                                   const std::string& path) {
    RemoveFrame frame;
    frame.fid = dir;
    frame.name = name;
    frame.path = path;
    TlDirEntArray* array = nullptr;
    if (enumDir(dir, &array, nullptr) != 0)
        return frame;
    // What is not a regular file waits for the walk, if it is a directory.
    for (size_t i = 0; i < array->length(); i++) {
        const TlDirEnt* e = (*array)[i];
        tolm_attr_t attr;
        if (remove(dir, e->_name.c_str(), &attr) != kNotRegular)
            continue;
        if (stat(e->_fid, &attr) == 0 && attr.filetype == TOLM_FILETYPE_DIR)
            frame.subdirs.emplace_back(e->_name, e->_fid);
    }
    delete array;
    return frame;
}
