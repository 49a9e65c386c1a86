#include "SimDbladeFs.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "RfPthread.h"
#include "TolmErr.h"
#include "TolmFsReply.h"
#include "TolmFsRequest.h"

namespace {

constexpr uint32_t kInterface = 1;
// The D-blade's own values (not the client library's constants): the vnode
// of every VFS root, the file types it reports and the `how` bits it applies.
constexpr uint32_t kRootVnode = 27;
constexpr uint8_t kTypeRegular = 1;
constexpr uint8_t kTypeDirectory = 2;
constexpr uint8_t kTypeLink = 3;
constexpr uint32_t kHowMode = 1;
constexpr uint32_t kHowSize = 8;
constexpr uint32_t kFirstVnode = 1000;
constexpr uint32_t kUnique = 1;
const char kMountMark[] = "@vfs:";

// D-blade error codes, as the protocol numbers them.
constexpr uint32_t code(TolmFsCode c) {
    return static_cast<uint32_t>(c);
}
constexpr uint32_t kNoSuchVfs = code(TolmFsCode::NoSuchVfs);
constexpr uint32_t kNoAccess = code(TolmFsCode::NoAccess);
constexpr uint32_t kSymlink = code(TolmFsCode::Symlink);
constexpr uint32_t kNotFound = code(TolmFsCode::NotFound);
constexpr uint32_t kInvalid = code(TolmFsCode::Invalid);
constexpr uint32_t kNotDir = code(TolmFsCode::NotDir);
constexpr uint32_t kMountPoint = code(TolmFsCode::MountPoint);
constexpr uint32_t kStale = code(TolmFsCode::Deleted);
constexpr uint32_t kIoError = code(TolmFsCode::IoError);
constexpr uint32_t kExists = code(TolmFsCode::Exists);
constexpr uint32_t kNotRegular = code(TolmFsCode::NotRegular);
constexpr uint32_t kNotEmpty = code(TolmFsCode::NotEmpty);
constexpr uint32_t kIsDir = code(TolmFsCode::IsDir);
constexpr uint32_t kNoSpace = code(TolmFsCode::DeviceFull);
constexpr uint32_t kReadOnly = code(TolmFsCode::ReadOnly);
constexpr uint32_t kOffline = code(TolmFsCode::Offline);
constexpr uint32_t kBusy = code(TolmFsCode::Busy);

using P = TolmFsParam;

struct Vfs {
    std::string name;
    std::string dir;
};

std::mutex g_lock;
SimDbladeFs::Options g_options;
std::map<uint32_t, Vfs> g_vfs;
std::map<std::pair<uint32_t, std::string>, uint32_t> g_vnodeOf;
std::map<std::pair<uint32_t, uint32_t>, std::string> g_pathOf;
uint32_t g_nextVnode = kFirstVnode;
RfUserEndPoint* g_endp = nullptr;
Rf* g_rf = nullptr;
pthread_t g_thread;
bool g_running = false;
bool g_attached = false;  // serving on an Rf instance of the process's own
FILE* g_log = nullptr;

uint32_t errnoCode(int e) {
    switch (e) {
        case ENOENT:
            return kNotFound;
        case EEXIST:
            return kExists;
        case ENOTDIR:
            return kNotDir;
        case ENOTEMPTY:
            return kNotEmpty;
        case EISDIR:
            return kIsDir;
        case EACCES:
        case EPERM:
            return kNoAccess;
        case ENOSPC:
            return kNoSpace;
        case EROFS:
            return kReadOnly;
        default:
            return kIoError;
    }
}

// A failure: thrown inside a request, answered with the status alone.
struct Fail {
    uint32_t code;
};

std::string join(const std::string& rel, const std::string& name) {
    return rel.empty() ? name : rel + "/" + name;
}

tolm_fid_t fidOf(uint32_t vfs, const std::string& rel) {
    if (rel.empty())
        return tolm_fid_t{vfs, kRootVnode, 0};
    auto key = std::make_pair(vfs, rel);
    auto it = g_vnodeOf.find(key);
    uint32_t vnode;
    if (it != g_vnodeOf.end()) {
        vnode = it->second;
    } else {
        vnode = g_nextVnode++;
        g_vnodeOf[key] = vnode;
        g_pathOf[std::make_pair(vfs, vnode)] = rel;
    }
    return tolm_fid_t{vfs, vnode, kUnique};
}

void forget(uint32_t vfs, const std::string& rel) {
    auto it = g_vnodeOf.find(std::make_pair(vfs, rel));
    if (it == g_vnodeOf.end())
        return;
    g_pathOf.erase(std::make_pair(vfs, it->second));
    g_vnodeOf.erase(it);
}

const Vfs& vfsOf(uint32_t vfs) {
    auto it = g_vfs.find(vfs);
    if (it == g_vfs.end())
        throw Fail{kNoSuchVfs};
    return it->second;
}

// The path, relative to its VFS's directory, of an object.
std::string relOf(const tolm_fid_t& fid) {
    vfsOf(fid.vfs);
    if (fid.vnode == kRootVnode)
        return "";
    auto it = g_pathOf.find(std::make_pair(fid.vfs, fid.vnode));
    if (it == g_pathOf.end() || fid.unique != kUnique)
        throw Fail{kStale};
    return it->second;
}

std::string hostPath(uint32_t vfs, const std::string& rel) {
    const Vfs& v = vfsOf(vfs);
    return rel.empty() ? v.dir : v.dir + "/" + rel;
}

// A name from a request: one component, no way out of the VFS.
std::string nameArg(const TolmFsRequest& r, TolmFsParam length, const std::string& raw) {
    size_t n = r.get(length);
    if (n == 0 || n > raw.size())
        throw Fail{kInvalid};
    std::string name = raw.substr(0, n);
    if (name == "." || name == ".." || name.find('/') != std::string::npos)
        throw Fail{kInvalid};
    if (g_options.maxName > 0 && name.size() > g_options.maxName)
        throw Fail{kInvalid};
    return name;
}

tolm_attr_t attrOf(const tolm_fid_t& fid, const std::string& path) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        throw Fail{errnoCode(errno)};
    tolm_attr_t a = {};
    a.uniquifier = fid.unique;
    a.filetype = S_ISDIR(st.st_mode)   ? kTypeDirectory
                 : S_ISLNK(st.st_mode) ? kTypeLink
                                       : kTypeRegular;
    a.links = static_cast<uint32_t>(st.st_nlink);
    a.mode = static_cast<uint16_t>(st.st_mode);
    a.uid = st.st_uid;
    a.gid = st.st_gid;
    a.atime = static_cast<uint32_t>(st.st_atim.tv_sec);
    a.length = static_cast<uint64_t>(st.st_size);
    a.ctime_secs = static_cast<uint32_t>(st.st_ctim.tv_sec);
    a.ctime_nsecs = static_cast<uint32_t>(st.st_ctim.tv_nsec);
    a.mtime_secs = static_cast<uint32_t>(st.st_mtim.tv_sec);
    a.mtime_nsecs = static_cast<uint32_t>(st.st_mtim.tv_nsec);
    a.blocks = static_cast<uint64_t>(st.st_blocks);
    a.crtime = a.ctime_secs;
    return a;
}

std::string linkText(const std::string& path) {
    std::vector<char> buf(8192);
    ssize_t n = readlink(path.c_str(), buf.data(), buf.size());
    if (n < 0)
        throw Fail{errnoCode(errno)};
    return std::string(buf.data(), static_cast<size_t>(n));
}

// The VFS a request works in: that of its object or of its directory.
uint32_t vfsOfRequest(const TolmFsRequest& r) {
    if (r.op->wordOf(P::Fid) >= 0)
        return r.getFid(P::Fid).vfs;
    return r.getFid(P::DirFid).vfs;
}

void log(const char* op, const TolmFsRequest& r, const std::string& detail) {
    if (g_log == nullptr)
        return;
    fprintf(g_log, "%s vfs=%u%s%s\n", op, vfsOfRequest(r), detail.empty() ? "" : " ",
            detail.c_str());
    fflush(g_log);
}

// The reply's status, then the attributes of the directory an operation changed.
void dirReply(TolmFsReply* out, const tolm_fid_t& dir, const std::string& rel) {
    out->putWord(TolmFsReply::success(0, false));
    out->putAttr(attrOf(dir, hostPath(dir.vfs, rel)));
}

// The last component of a path relative to its VFS.
std::string baseName(const std::string& rel) {
    size_t slash = rel.rfind('/');
    return slash == std::string::npos ? rel : rel.substr(slash + 1);
}

// The entry by which a directory named after --fs-self-listing lists itself.
const char kItself[] = "itself";

bool isSelfEntry(const std::string& dirRel, const std::string& name) {
    return !g_options.selfListing.empty() && name == kItself &&
           baseName(dirRel) == g_options.selfListing;
}

void lookup(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t dir = r.getFid(P::DirFid);
    std::string rel = relOf(dir);
    std::string name = nameArg(r, P::NameLength, r.sourceName);
    log("lookup", r, "name=" + name);
    if (isSelfEntry(rel, name)) {
        out->putWord(TolmFsReply::success(0, false));
        out->putFid(dir);
        out->putAttr(attrOf(dir, hostPath(dir.vfs, rel)));
        out->putCounted("");
        return;
    }
    std::string childRel = join(rel, name);
    std::string path = hostPath(dir.vfs, childRel);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        throw Fail{errnoCode(errno)};
    tolm_fid_t fid = fidOf(dir.vfs, childRel);
    tolm_attr_t attr = attrOf(fid, path);
    std::string text;
    uint32_t status = TolmFsReply::success(0, false);
    if (S_ISLNK(st.st_mode)) {
        text = linkText(path);
        if (text.compare(0, strlen(kMountMark), kMountMark) == 0) {
            text = text.substr(strlen(kMountMark));
            fid = tolm_fid_t{dir.vfs, kRootVnode, 0};
            status = TolmFsReply::failure(kMountPoint);
        } else {
            text.clear();
            status = TolmFsReply::failure(kSymlink);
        }
    }
    out->putWord(status);
    out->putFid(fid);
    out->putAttr(attr);
    out->putCounted(text);
}

void readLink(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t fid = r.getFid(P::Fid);
    std::string path = hostPath(fid.vfs, relOf(fid));
    bool mountPoint = r.op == &TolmFsOps::readMountPoint;
    log(mountPoint ? "readMountPoint" : "readLink", r, "");
    std::string text = linkText(path);
    bool isMount = text.compare(0, strlen(kMountMark), kMountMark) == 0;
    if (mountPoint) {
        if (!isMount)
            throw Fail{kInvalid};
        out->putWord(TolmFsReply::success(0, false));
        out->putAttr(attrOf(fid, path));
        out->putWord(kRootVnode);
        out->putWord(0);
        out->putCounted(text.substr(strlen(kMountMark)));
        return;
    }
    out->putWord(TolmFsReply::success(static_cast<uint32_t>(text.size()), false));
    out->putAttr(attrOf(fid, path));
    out->putBytes(text.data(), text.size());
}

void read(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t fid = r.getFid(P::Fid);
    uint64_t offset = r.getU64(P::Offset);
    uint32_t count = r.get(P::Count);
    log("read", r, "offset=" + std::to_string(offset) + " count=" + std::to_string(count));
    if (count > 8192)
        throw Fail{kInvalid};
    std::string path = hostPath(fid.vfs, relOf(fid));
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw Fail{errnoCode(errno)};
    std::vector<uint8_t> data(count);
    ssize_t n = pread(fd, data.data(), count, static_cast<off_t>(offset));
    int error = errno;
    struct stat st;
    fstat(fd, &st);
    close(fd);
    if (n < 0)
        throw Fail{errnoCode(error)};
    bool end = offset + static_cast<uint64_t>(n) >= static_cast<uint64_t>(st.st_size);
    out->putWord(TolmFsReply::success(static_cast<uint32_t>(n), end));
    out->putAttr(attrOf(fid, path));
    out->putBytes(data.data(), static_cast<size_t>(n));
}

void write(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t fid = r.getFid(P::Fid);
    uint64_t offset = r.getU64(P::Offset);
    uint32_t count = r.get(P::Count);
    log("write", r, "offset=" + std::to_string(offset) + " count=" + std::to_string(count));
    if (count != r.dataLength)
        throw Fail{kInvalid};
    std::string path = hostPath(fid.vfs, relOf(fid));
    int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        throw Fail{errnoCode(errno)};
    ssize_t n = pwrite(fd, r.data, count, static_cast<off_t>(offset));
    int error = errno;
    close(fd);
    if (n < 0)
        throw Fail{errnoCode(error)};
    out->putWord(TolmFsReply::success(static_cast<uint32_t>(n), false));
    out->putAttr(attrOf(fid, path));
}

void makeObject(const TolmFsRequest& r, TolmFsReply* out, bool directory) {
    tolm_fid_t dir = r.getFid(P::DirFid);
    std::string rel = relOf(dir);
    std::string name = nameArg(r, P::NameLength, r.sourceName);
    log(directory ? "mkDir" : "create", r, "name=" + name);
    tolm_set_attr_t set = r.getSetAttr(P::SetAttr);
    mode_t mode = (set.how & kHowMode) ? (set.mode & 07777) : (directory ? 0755 : 0644);
    std::string childRel = join(rel, name);
    std::string path = hostPath(dir.vfs, childRel);
    if (directory) {
        if (mkdir(path.c_str(), mode) != 0)
            throw Fail{errnoCode(errno)};
    } else {
        int fd = open(path.c_str(), O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, mode);
        if (fd < 0)
            throw Fail{errnoCode(errno)};
        close(fd);
    }
    forget(dir.vfs, childRel);
    tolm_fid_t fid = fidOf(dir.vfs, childRel);
    out->putWord(TolmFsReply::success(0, false));
    out->putWord(0);
    out->putFid(fid);
    out->putAttr(attrOf(fid, path));
}

void removeObject(const TolmFsRequest& r, TolmFsReply* out, bool directory) {
    tolm_fid_t dir = r.getFid(P::DirFid);
    std::string rel = relOf(dir);
    std::string name = nameArg(r, P::NameLength, r.sourceName);
    log(directory ? "rmDir" : "remove", r, "name=" + name);
    if (isSelfEntry(rel, name))
        throw Fail{directory ? kNotEmpty : kNotRegular};
    std::string childRel = join(rel, name);
    std::string path = hostPath(dir.vfs, childRel);
    struct stat st;
    if (lstat(path.c_str(), &st) != 0)
        throw Fail{errnoCode(errno)};
    if (directory) {
        if (!S_ISDIR(st.st_mode))
            throw Fail{kNotDir};
        if (rmdir(path.c_str()) != 0)
            throw Fail{errnoCode(errno)};
    } else {
        if (S_ISDIR(st.st_mode))
            throw Fail{kNotRegular};
        if (unlink(path.c_str()) != 0)
            throw Fail{errnoCode(errno)};
    }
    forget(dir.vfs, childRel);
    dirReply(out, dir, rel);
}

void readDir(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t dir = r.getFid(P::DirFid);
    uint32_t cookie = r.get(P::Cookie);
    log("readDir", r, "cookie=" + std::to_string(cookie));
    std::string rel = relOf(dir);
    std::string path = hostPath(dir.vfs, rel);
    DIR* d = opendir(path.c_str());
    if (d == nullptr)
        throw Fail{errnoCode(errno)};
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n != "." && n != "..")
            names.push_back(n);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    if (isSelfEntry(rel, kItself)) {
        names.push_back(kItself);
        std::sort(names.begin(), names.end());
    }
    std::vector<SimDirSegments::Name> entries;
    for (const std::string& n : names) {
        tolm_fid_t fid = isSelfEntry(rel, n) ? dir : fidOf(dir.vfs, join(rel, n));
        entries.push_back(SimDirSegments::Name{n, fid.vnode, fid.unique, 0});
    }
    const SimDbladeFs::DirLayout& layout = g_options.dirLayout;
    std::vector<std::vector<uint8_t>> segments = SimDirSegments::pack(entries, layout.header);
    size_t perReply = static_cast<size_t>(std::min(4, std::max(1, layout.segmentsPerReply)));
    if (!g_options.endlessDir.empty() && baseName(rel) == g_options.endlessDir) {
        // Never the end: the directory's segments over and over, whatever the cookie.
        if (segments.empty()) {
            segments.emplace_back(SimDirSegments::kSize, 0);
            segments.back()[3] = 2 << 6;  // a name segment without names
        }
        out->putWord(
            TolmFsReply::success(static_cast<uint32_t>(perReply * SimDirSegments::kSize), false));
        out->putAttr(attrOf(dir, path));
        for (size_t i = 0; i < perReply; i++)
            out->putBytes(segments[(cookie + i) % segments.size()].data(), SimDirSegments::kSize);
        return;
    }
    size_t first = std::min<size_t>(cookie, segments.size());
    size_t last = std::min(segments.size(), first + perReply);
    bool end = first == segments.size() || (layout.endWithData && last == segments.size());
    size_t sent = last - first;
    uint32_t count =
        static_cast<uint32_t>(layout.countInSegments ? sent : sent * SimDirSegments::kSize);
    out->putWord(TolmFsReply::success(count, end));
    out->putAttr(attrOf(dir, path));
    for (size_t i = first; i < last; i++)
        out->putBytes(segments[i].data(), segments[i].size());
}

void setAttr(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t fid = r.getFid(P::Fid);
    log("setAttr", r, "");
    std::string path = hostPath(fid.vfs, relOf(fid));
    tolm_attr_t before = attrOf(fid, path);
    tolm_set_attr_t set = r.getSetAttr(P::SetAttr);
    if ((set.how & kHowMode) && chmod(path.c_str(), set.mode & 07777) != 0)
        throw Fail{errnoCode(errno)};
    if ((set.how & kHowSize) && truncate(path.c_str(), static_cast<off_t>(set.size)) != 0)
        throw Fail{errnoCode(errno)};
    out->putWord(TolmFsReply::success(0, false));
    out->putAttr(before);
}

void renameObject(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t from = r.getFid(P::DirFid);
    tolm_fid_t to = r.getFid(P::TargetDirFid);
    std::string fromName = nameArg(r, P::NameLength, r.sourceName);
    std::string toName = nameArg(r, P::TargetNameLength, r.targetName);
    log("rename", r, "name=" + fromName + " to=" + toName);
    if (from.vfs != to.vfs)
        throw Fail{kInvalid};
    std::string fromRel = join(relOf(from), fromName);
    std::string toRel = join(relOf(to), toName);
    if (::rename(hostPath(from.vfs, fromRel).c_str(), hostPath(to.vfs, toRel).c_str()) != 0)
        throw Fail{errnoCode(errno)};
    forget(to.vfs, toRel);
    auto it = g_vnodeOf.find(std::make_pair(from.vfs, fromRel));
    if (it != g_vnodeOf.end()) {
        uint32_t vnode = it->second;
        g_vnodeOf.erase(it);
        g_vnodeOf[std::make_pair(from.vfs, toRel)] = vnode;
        g_pathOf[std::make_pair(from.vfs, vnode)] = toRel;
    }
    dirReply(out, to, relOf(to));
}

void linkObject(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t dir = r.getFid(P::DirFid);
    tolm_fid_t file = r.getFid(P::FileFid);
    std::string name = nameArg(r, P::NameLength, r.sourceName);
    log("link", r, "name=" + name);
    if (dir.vfs != file.vfs)
        throw Fail{kInvalid};
    std::string rel = relOf(dir);
    if (::link(hostPath(file.vfs, relOf(file)).c_str(),
               hostPath(dir.vfs, join(rel, name)).c_str()) != 0)
        throw Fail{errnoCode(errno)};
    dirReply(out, dir, rel);
}

void getAttr(const TolmFsRequest& r, TolmFsReply* out) {
    tolm_fid_t fid = r.getFid(P::Fid);
    log("getAttr", r, "");
    std::string path = hostPath(fid.vfs, relOf(fid));
    out->putWord(TolmFsReply::success(0, false));
    out->putAttr(attrOf(fid, path));
}

void dataManagement(const TolmFsRequest& r, TolmFsReply* out) {
    log(r.op->name, r, "");
    out->putWord(TolmFsReply::success(0, false));
}

using Handler = void (*)(const TolmFsRequest&, TolmFsReply*);

struct Served {
    const TolmFsOp* op;
    Handler handler;
};

const Served kServed[] = {
    {&TolmFsOps::getAttr, getAttr},
    {&TolmFsOps::write, write},
    {&TolmFsOps::lookup, lookup},
    {&TolmFsOps::readLink, readLink},
    {&TolmFsOps::readMountPoint, readLink},
    {&TolmFsOps::read, read},
    {&TolmFsOps::readDir, readDir},
    {&TolmFsOps::create, [](const TolmFsRequest& r, TolmFsReply* o) { makeObject(r, o, false); }},
    {&TolmFsOps::mkDir, [](const TolmFsRequest& r, TolmFsReply* o) { makeObject(r, o, true); }},
    {&TolmFsOps::remove, [](const TolmFsRequest& r, TolmFsReply* o) { removeObject(r, o, false); }},
    {&TolmFsOps::rmDir, [](const TolmFsRequest& r, TolmFsReply* o) { removeObject(r, o, true); }},
    {&TolmFsOps::setAttr, setAttr},
    {&TolmFsOps::rename, renameObject},
    {&TolmFsOps::link, linkObject},
    {&TolmFsOps::configureDM, dataManagement},
    {&TolmFsOps::setattrDM, dataManagement},
};

void execute(const TolmFsRequest& r, TolmFsReply* out) {
    // A request must fill its operation's parameters exactly.
    if (r.op == nullptr || r.params.size() != r.op->words())
        throw Fail{kInvalid};
    for (const Served& s : kServed)
        if (s.op == r.op)
            return s.handler(r, out);
    throw Fail{kInvalid};
}

// The faults switched on, in order; 0 when none applies to this request.
uint32_t fault() {
    if (g_options.busyRequests > 0) {
        g_options.busyRequests--;
        return kBusy;
    }
    if (g_options.offlineOnce) {
        g_options.offlineOnce = false;
        return kOffline;
    }
    if (g_options.noVfsOnce) {
        g_options.noVfsOnce = false;
        return kNoSuchVfs;
    }
    return 0;
}

void serve(void*, RfServerCall* call, RfPacket* requestp) {
    std::vector<uint8_t> bytes(requestp->datap, requestp->datap + requestp->size);
    Rf_freePacket(requestp);
    TolmFsReply out;
    {
        std::lock_guard<std::mutex> lk(g_lock);
        if (g_options.silent)
            return;
        TolmFsRequest r;
        try {
            if (!TolmFsRequest::decode(bytes.data(), bytes.size(), &r))
                throw Fail{kInvalid};
            if (uint32_t f = fault()) {
                if (g_log != nullptr) {
                    fprintf(g_log, "fault %u\n", f);
                    fflush(g_log);
                }
                throw Fail{f};
            }
            execute(r, &out);
        } catch (const Fail& f) {
            out = TolmFsReply();
            out.putWord(TolmFsReply::failure(f.code));
            // A failed lookup still carries its fid, attributes and text.
            if (r.op == &TolmFsOps::lookup) {
                tolm_attr_t none = {};
                out.putFid(tolm_fid_t{0, 0, 0});
                out.putAttr(none);
                out.putCounted("");
            }
        }
    }
    RfPacket* response = RfUser_allocPacket(g_endp);
    if (response == nullptr)
        return;
    nbuf_addIov(response, out.bytes().data(), static_cast<int32_t>(out.bytes().size()));
    Rf_sendResponse(call, response);
}

}  // namespace

bool SimDbladeFs::start(const Options& options) {
    std::lock_guard<std::mutex> lk(g_lock);
    if (g_running)
        return true;
    g_options = options;
    if (RfUser_createUDPEndPoint(options.port, &g_endp) != 0 || g_endp == nullptr)
        return false;
    RfUser_setDropPct(g_endp, options.dropPct);
    if (Rf_create(g_endp, &g_rf) != 0 ||
        Rf_createServer(g_rf, kInterface, serve, nullptr, nullptr) != 0)
        return false;
    if (!options.logFile.empty())
        g_log = fopen(options.logFile.c_str(), "a");
    if (RfUser_startDispatchThread(&g_thread, nullptr, g_endp) != 0)
        return false;
    g_running = true;
    return true;
}

bool SimDbladeFs::attach(Rf* rf, RfUserEndPoint* endp, const Options& options) {
    std::lock_guard<std::mutex> lk(g_lock);
    if (g_running)
        return true;
    g_options = options;
    if (Rf_createServer(rf, kInterface, serve, nullptr, nullptr) != 0)
        return false;
    if (!options.logFile.empty())
        g_log = fopen(options.logFile.c_str(), "a");
    g_endp = endp;
    g_attached = true;
    g_running = true;
    return true;
}

void SimDbladeFs::stop() {
    if (!g_running)
        return;
    if (g_attached) {
        g_endp = nullptr;
        g_attached = false;
        if (g_log != nullptr)
            fclose(g_log);
        g_log = nullptr;
        g_running = false;
        return;
    }
    RfUser_killDispatchThread(&g_thread);
    Rf_destroy(g_rf);
    RfUser_destroyUDPEndPoint(g_endp);
    g_rf = nullptr;
    g_endp = nullptr;
    if (g_log != nullptr)
        fclose(g_log);
    g_log = nullptr;
    g_running = false;
}

void SimDbladeFs::setDirLayout(const DirLayout& layout) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_options.dirLayout = layout;
}

void SimDbladeFs::addVfs(uint32_t vfsId, const std::string& name, const std::string& dir) {
    std::lock_guard<std::mutex> lk(g_lock);
    g_vfs[vfsId] = Vfs{name, dir};
}

uint16_t SimDbladeFs::port() {
    return g_endp != nullptr ? RfUser_getEndPointPort(g_endp) : 0;
}
