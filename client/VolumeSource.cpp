#include "VolumeSource.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "TolmErr.h"

namespace {

constexpr uint64_t kChunk = 65536;

}  // namespace

VolumeSource::VolumeSource(const Where& where, FILE* warnings)
    : TreeSource(warnings), _node(where.node) {
    uint32_t st;
    uint32_t vfsId = where.vfsId;
    if (where.dblade.empty()) {
        _base = where.vfsName;
        st = _vldb.create("localhost", "localhost", 0);
        if (st == 0) {
            _vldb.setLocalCaching(true);
            st = _vldb.getDbladeLockHeld(where.vfsName.c_str(), &vfsId, 0);
        }
        if (st != 0)
            fail(where.vfsName, st);
    } else {
        _base = where.dblade;
        size_t colon = where.dblade.rfind(':');
        char* end = nullptr;
        unsigned long port =
            colon == std::string::npos ? 0 : strtoul(where.dblade.c_str() + colon + 1, &end, 10);
        if (colon == std::string::npos || port == 0 || port > 0xFFFF || *end != '\0')
            throw SourceError("tolmstat: not a D-blade HOST:PORT: " + where.dblade);
        _vldb.setUseVldb(0);
        st = _vldb.create();
        if (st == 0)
            st = _vldb.connect(where.dblade.substr(0, colon).c_str(), static_cast<uint16_t>(port));
        if (st != 0)
            fail(where.dblade, st);
    }
    _file = std::make_unique<TolmFile>(&_vldb);
    _dir = std::make_unique<TolmDir>(&_vldb);
    _root = tolm_fid_t{vfsId, TOLM_INO_ROOT, 0};
    _host = _root;
    _where = _base + ":/";
    if (!where.node.empty())
        setNode(where.node);
}

void VolumeSource::setNode(const std::string& node) {
    forget();
    _node = node;
    _where = _base + ":/" + node;
    uint32_t st = lookup(_root, node, &_host);
    if (st != 0)
        fail(_where, st);
}

std::vector<std::string> VolumeSource::hostDirectories() {
    std::vector<std::string> names;
    for (const auto& e : list(_root, _base + ":/"))
        names.push_back(e.first);
    return names;
}

VolumeSource::~VolumeSource() {
    _file.reset();
    _dir.reset();
    _vldb.destroy();
}

void VolumeSource::fail(const std::string& what, uint32_t status) {
    char code[16];
    snprintf(code, sizeof code, "0x%07x", status);
    std::string text =
        "tolmstat: " + what + ": " + TolmErr::tolmFsLibError(status) + " (" + code + ")";
    throw SourceError(text);
}

uint32_t VolumeSource::lookup(const tolm_fid_t& dir, const std::string& name, tolm_fid_t* fid) {
    char* absLink = nullptr;
    uint32_t st = _file->lookup(&dir, name.c_str(), &absLink, fid);
    free(absLink);
    return st;
}

std::map<std::string, tolm_fid_t> VolumeSource::list(const tolm_fid_t& dir,
                                                     const std::string& shown) {
    std::map<std::string, tolm_fid_t> entries;
    struct Ctx {
        std::map<std::string, tolm_fid_t>* entries;
        uint32_t vfs;
    } ctx{&entries, dir.vfs};
    uint32_t count = 0;
    uint32_t st = _dir->readDir(
        &dir, 0, &count, nullptr,
        [](void* arg, const char* name, uint32_t inode, uint32_t uniq, uint32_t) {
            Ctx* c = static_cast<Ctx*>(arg);
            if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0)
                (*c->entries)[name] = tolm_fid_t{c->vfs, inode, uniq};
            return 0;
        },
        &ctx);
    if (st != 0 && st != TOLM_ERR_END_OF_FILE)
        fail("listing " + shown, st);
    return entries;
}

std::vector<std::string> VolumeSource::listTop() {
    _stampDirs = list(_host, _where);
    std::vector<std::string> names;
    for (const auto& d : _stampDirs)
        names.push_back(d.first);
    return names;
}

int VolumeSource::openFile(const std::string& dir, const std::string& name, std::string* why) {
    auto d = _stampDirs.find(dir);
    if (d == _stampDirs.end())
        return -1;
    tolm_fid_t fid;
    uint32_t st = lookup(d->second, name, &fid);
    if (st == tolmFsStatus(TolmFsCode::NotFound))
        return -1;
    auto failed = [&](uint32_t status) {
        char code[16];
        snprintf(code, sizeof code, "0x%07x", status);
        *why = std::string(TolmErr::tolmFsLibError(status)) + " (" + code + ")";
        return -1;
    };
    if (st != 0)
        return failed(st);
    // The file's bytes into memory, read there as a local record file is.
    int fd = memfd_create("tolmstat-record", MFD_CLOEXEC);
    if (fd < 0) {
        *why = strerror(errno);
        return -1;
    }
    std::vector<uint8_t> buf(kChunk);
    for (uint64_t offset = 0;;) {
        uint64_t got = 0;
        st = _file->read(&fid, offset, buf.size(), 0, &got, buf.data(), nullptr);
        if (st != 0 && st != TOLM_ERR_END_OF_FILE) {
            close(fd);
            return failed(st);
        }
        if (got > 0 && write(fd, buf.data(), got) != static_cast<ssize_t>(got)) {
            *why = strerror(errno);
            close(fd);
            return -1;
        }
        offset += got;
        if (st == TOLM_ERR_END_OF_FILE || got < buf.size())
            break;
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
}

std::string VolumeSource::pathOf(const std::string& dir, const std::string& name) const {
    std::string path = "/" + _node + "/" + dir;
    return name.empty() ? path : path + "/" + name;
}
