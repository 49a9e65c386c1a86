// tolmvol: reads and tends the statistics volume of the cluster file system
// through the client library, as an operator would: list, show, fetch, store
// and remove files and directories.

#include <fcntl.h>
#include <getopt.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "TolmDir.h"
#include "TolmErr.h"
#include "TolmFile.h"
#include "TolmVersion.h"
#include "TolmVldb.h"
#include "VolumeSource.h"

namespace {

const char kUsage[] =
    "usage: tolmvol [--vfs NAME] [--dblade HOST:PORT --vfsid ID] COMMAND\n"
    "commands:\n"
    "  ls PATH                  list a directory (or show one file)\n"
    "  tree [PATH]              list everything under PATH (default /)\n"
    "  stat PATH                show an object's attributes\n"
    "  cat PATH                 write a file's bytes to standard output\n"
    "  get PATH LOCALFILE       copy a file out of the volume\n"
    "  put LOCALFILE PATH       copy a local file into the volume (replacing PATH)\n"
    "  mkdir PATH               make a directory\n"
    "  rm PATH                  remove a file\n"
    "  rmdir [-r] PATH          remove an empty directory (-r: and everything in it)\n"
    "  check [/HOST]            check the statistics history of one host directory (or\n"
    "                           of every one): each snapshot holds all five records,\n"
    "                           each decodes whole (binary) or parses (XML) and was made\n"
    "                           within one persistence period of its directory's name;\n"
    "                           one line per damaged snapshot, exit status 1 if any\n"
    "options:\n"
    "  --vfs NAME               the VFS (default tolm.stats_)\n"
    "  --dblade HOST:PORT       talk to that D-blade directly, without the location\n"
    "                           services (needs --vfsid)\n"
    "  --vfsid ID               the VFS's id, with --dblade\n"
    "  --help                   print this text\n"
    "  --version                print the version\n"
    "Paths are absolute inside the VFS. Location services are asked on this host.\n";

constexpr size_t kChunk = 65536;

// A failed operation: "tolmvol: PATH: TEXT (0xSTATUS)".
struct Failure {
    std::string path;
    uint32_t status;
    std::string why = "";  // said after the status's text when not empty
};

// Directories below the one removed that rmdir -r enters at most.
constexpr size_t kMaxDepth = 64;

class Volume {
  public:
    Volume(TolmVldb* vldb, uint32_t vfsId)
        : _file(vldb), _dir(vldb), _root{vfsId, TOLM_INO_ROOT, 0} {}

    tolm_fid_t resolve(const std::string& path) {
        tolm_fid_t fid;
        char* absLink = nullptr;
        uint32_t st = _file.lookup(&_root, path.c_str(), &absLink, &fid);
        free(absLink);
        check(path, st);
        return fid;
    }

    tolm_attr_t attrs(const std::string& path, const tolm_fid_t& fid) {
        tolm_attr_t a;
        check(path, _file.getAttr(&fid, &a));
        return a;
    }

    struct Entry {
        std::string name;
        tolm_fid_t fid;
    };

    std::vector<Entry> list(const std::string& path, const tolm_fid_t& dir) {
        std::vector<Entry> out;
        struct Ctx {
            std::vector<Entry>* out;
            uint32_t vfs;
        } ctx{&out, dir.vfs};
        uint32_t count = 0;
        uint32_t st = _dir.readDir(
            &dir, 0, &count, nullptr,
            [](void* arg, const char* name, uint32_t inode, uint32_t uniq, uint32_t) {
                Ctx* c = static_cast<Ctx*>(arg);
                c->out->push_back(Entry{name, tolm_fid_t{c->vfs, inode, uniq}});
                return 0;
            },
            &ctx);
        if (st != TOLM_ERR_END_OF_FILE)
            check(path, st);
        return out;
    }

    // Calls `sink` with each piece of the file in order.
    template <typename Sink>
    void read(const std::string& path, const tolm_fid_t& fid, Sink sink) {
        std::vector<uint8_t> buf(kChunk);
        uint64_t offset = 0;
        for (;;) {
            uint64_t got = 0;
            uint32_t st = _file.read(&fid, offset, buf.size(), 0, &got, buf.data(), nullptr);
            if (st != 0 && st != TOLM_ERR_END_OF_FILE)
                check(path, st);
            sink(buf.data(), got);
            offset += got;
            if (st == TOLM_ERR_END_OF_FILE || got < buf.size())
                return;
        }
    }

    // The parent directory's fid and the last component of a path.
    tolm_fid_t parent(const std::string& path, std::string* name) {
        std::string p = path;
        while (p.size() > 1 && p.back() == '/')
            p.pop_back();
        size_t slash = p.rfind('/');
        *name = slash == std::string::npos ? p : p.substr(slash + 1);
        std::string dir = slash == std::string::npos || slash == 0 ? "/" : p.substr(0, slash);
        if (name->empty())
            check(path, TOLM_ERR_EMPTY_FILENAME);
        return resolve(dir);
    }

    void put(const std::string& local, const std::string& path) {
        int fd = open(local.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            fprintf(stderr, "tolmvol: %s: %s\n", local.c_str(), strerror(errno));
            exit(1);
        }
        std::string name;
        tolm_fid_t dir = parent(path, &name);
        tolm_set_attr_t set = {};
        set.how = TOLM_SET_MODE | TOLM_SET_UID | TOLM_SET_GID;
        set.mode = 0644;
        tolm_fid_t fid;
        uint32_t st = _file.create(&dir, name.c_str(), &set, TOLM_CREATE_DEFAULT, &fid, nullptr, 0);
        if (st == tolmFsStatus(TolmFsCode::Exists)) {
            // Already there: replaced from its first byte, cut to the new length.
            fid = resolve(path);
            tolm_set_attr_t cut = {};
            cut.how = TOLM_SET_SIZE;
            st = _file.setAttr(&fid, &cut, nullptr);
        }
        check(path, st);
        std::vector<uint8_t> buf(kChunk);
        uint64_t offset = 0;
        ssize_t n;
        while ((n = ::read(fd, buf.data(), buf.size())) > 0) {
            check(path, _file.write(&fid, offset, static_cast<uint64_t>(n), buf.data(), nullptr));
            offset += static_cast<uint64_t>(n);
        }
        close(fd);
    }

    void mkdir(const std::string& path) {
        std::string name;
        tolm_fid_t dir = parent(path, &name);
        tolm_set_attr_t set = {};
        set.how = TOLM_SET_MODE | TOLM_SET_UID | TOLM_SET_GID;
        set.mode = 0755;
        tolm_fid_t fid;
        check(path, _dir.mkDir(&dir, name.c_str(), &set, &fid, nullptr, 0));
    }

    void rm(const std::string& path) {
        std::string name;
        tolm_fid_t dir = parent(path, &name);
        check(path, _file.remove(&dir, name.c_str(), nullptr));
    }

    void rmdir(const std::string& path, bool recursive) {
        std::string name;
        tolm_fid_t dir = parent(path, &name);
        if (recursive) {
            tolm_fid_t top = resolve(path);
            std::set<std::tuple<uint32_t, uint32_t, uint32_t>> entered;
            entered.insert(std::make_tuple(top.vfs, top.vnode, top.unique));
            empty(path, top, &entered, 0);
        }
        check(path, _dir.rmDir(&dir, name.c_str(), nullptr));
    }

    // A directory met again (a tree that lists itself) or too deep is not
    // entered: the removal stops there.
    void empty(const std::string& path, const tolm_fid_t& dir,
               std::set<std::tuple<uint32_t, uint32_t, uint32_t>>* entered, size_t depth) {
        for (const Entry& e : list(path, dir)) {
            std::string child = join(path, e.name);
            tolm_attr_t a = attrs(child, e.fid);
            if (a.filetype == TOLM_FILETYPE_DIR) {
                if (!entered->insert(std::make_tuple(e.fid.vfs, e.fid.vnode, e.fid.unique)).second)
                    throw Failure{child, TOLM_ERR_INVALID_DATA, "a directory entered before"};
                if (depth + 1 > kMaxDepth)
                    throw Failure{child, TOLM_ERR_INVALID_DATA, "more than 64 directories deep"};
                empty(child, e.fid, entered, depth + 1);
                check(child, _dir.rmDir(&dir, e.name.c_str(), nullptr));
            } else {
                check(child, _file.remove(&dir, e.name.c_str(), nullptr));
            }
        }
    }

    static std::string join(const std::string& dir, const std::string& name) {
        return dir.empty() || dir.back() != '/' ? dir + "/" + name : dir + name;
    }

    static void check(const std::string& path, uint32_t st) {
        if (st != 0)
            throw Failure{path, st};
    }

  private:
    TolmFile _file;
    TolmDir _dir;
    tolm_fid_t _root;
};

char typeChar(const tolm_attr_t& a) {
    return a.filetype == TOLM_FILETYPE_DIR ? 'd' : a.filetype == TOLM_FILETYPE_LINK ? 'l' : '-';
}

void printLine(const tolm_attr_t& a, const std::string& name) {
    char when[32];
    time_t t = static_cast<time_t>(a.mtime_secs);
    struct tm tmv;
    strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", localtime_r(&t, &tmv));
    printf("%c %04o %10llu %s %s\n", typeChar(a), a.mode & 07777,
           static_cast<unsigned long long>(a.length), when, name.c_str());
}

void tree(Volume& vol, const std::string& path, const tolm_fid_t& fid) {
    tolm_attr_t a = vol.attrs(path, fid);
    printf("%s%s\n", path.c_str(), a.filetype == TOLM_FILETYPE_DIR && path != "/" ? "/" : "");
    if (a.filetype != TOLM_FILETYPE_DIR)
        return;
    for (const Volume::Entry& e : vol.list(path, fid))
        tree(vol, Volume::join(path, e.name), e.fid);
}

// tolmvol check: one line per damaged snapshot (or entry that is none),
// "PATH: REASON"; 1 when there is any, 2 when the volume cannot be read.
int check(const VolumeSource::Where& where, const std::string& host) {
    size_t damaged = 0;
    try {
        VolumeSource::Where at = where;
        at.node = host;
        VolumeSource volume(at);
        std::vector<std::string> hosts =
            host.empty() ? volume.hostDirectories() : std::vector<std::string>{host};
        for (const std::string& h : hosts) {
            std::vector<TreeSource::Problem> problems;
            try {
                volume.setNode(h);
                problems = volume.check(0);
            } catch (SourceError& e) {
                std::string why = e.what();
                if (why.rfind("tolmstat: ", 0) == 0)
                    why = why.substr(10);
                problems.push_back(TreeSource::Problem{"/" + h, "cannot be read: " + why});
            }
            for (const TreeSource::Problem& p : problems)
                printf("%s: %s\n", p.path.c_str(), p.why.c_str());
            damaged += problems.size();
        }
    } catch (SourceError& e) {
        std::string why = e.what();
        fprintf(stderr, "tolmvol: %s\n",
                why.rfind("tolmstat: ", 0) == 0 ? why.substr(10).c_str() : why.c_str());
        return 2;
    }
    return damaged ? 1 : 0;
}

int usage() {
    fputs(kUsage, stderr);
    return 2;
}

bool number(const char* text, unsigned long max, unsigned long* out) {
    char* end = nullptr;
    errno = 0;
    *out = strtoul(text, &end, 0);
    return *text != '\0' && *end == '\0' && errno == 0 && *out <= max && text[0] != '-';
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "tolmvol"))
        return 0;
    static const option options[] = {{"vfs", required_argument, nullptr, 'v'},
                                     {"dblade", required_argument, nullptr, 'd'},
                                     {"vfsid", required_argument, nullptr, 'i'},
                                     {"help", no_argument, nullptr, 'h'},
                                     {nullptr, 0, nullptr, 0}};
    std::string vfsName = "tolm.stats_";
    std::string dblade;
    unsigned long vfsId = 0;
    bool haveVfsId = false;
    int c;
    // Options end at the command, so that "rmdir -r" keeps its own option.
    while ((c = getopt_long(argc, argv, "+", options, nullptr)) != -1) {
        switch (c) {
            case 'v':
                vfsName = optarg;
                break;
            case 'd':
                dblade = optarg;
                break;
            case 'i':
                if (!number(optarg, 0xFFFFFFFFUL, &vfsId))
                    return usage();
                haveVfsId = true;
                break;
            case 'h':
                fputs(kUsage, stdout);
                return 0;
            default:
                return usage();
        }
    }
    std::vector<std::string> args(argv + optind, argv + argc);
    if (args.empty())
        return usage();
    const std::string cmd = args[0];
    if (cmd == "check") {
        if (args.size() > 2 || (args.size() == 2 && (args[1].empty() || args[1][0] != '/')))
            return usage();
        if (!dblade.empty() && !haveVfsId)
            return usage();
        VolumeSource::Where where;
        where.vfsName = vfsName;
        where.dblade = dblade;
        where.vfsId = static_cast<uint32_t>(vfsId);
        std::string host = args.size() == 2 ? args[1].substr(1) : "";
        while (!host.empty() && host.back() == '/')
            host.pop_back();
        return check(where, host);
    }
    bool recursive = cmd == "rmdir" && args.size() > 1 && args[1] == "-r";
    if (recursive)
        args.erase(args.begin() + 1);
    size_t want = cmd == "tree"                  ? (args.size() <= 2 ? args.size() : 0)
                  : cmd == "get" || cmd == "put" ? 3
                  : cmd == "ls" || cmd == "stat" || cmd == "cat" || cmd == "mkdir" || cmd == "rm" ||
                          cmd == "rmdir"
                      ? 2
                      : 0;
    if (want == 0 || args.size() != want)
        return usage();
    if (!dblade.empty() && !haveVfsId)
        return usage();

    TolmVldb vldb;
    uint32_t st;
    std::string where = dblade;
    if (dblade.empty()) {
        where = "localhost";
        st = vldb.create("localhost", "localhost", 0);
        uint32_t id = 0;
        if (st == 0)
            st = vldb.getDbladeLockHeld(vfsName.c_str(), &id, 0);
        vfsId = id;
        where = vfsName;
    } else {
        size_t colon = dblade.rfind(':');
        unsigned long port = 0;
        if (colon == std::string::npos || !number(dblade.c_str() + colon + 1, 0xFFFF, &port))
            return usage();
        vldb.setUseVldb(0);
        st = vldb.create();
        if (st == 0)
            st = vldb.connect(dblade.substr(0, colon).c_str(), static_cast<uint16_t>(port));
    }
    if (st != 0) {
        fprintf(stderr, "tolmvol: %s: %s (0x%07x)\n", where.c_str(), TolmErr::tolmFsLibError(st),
                st);
        vldb.destroy();
        return 1;
    }

    int rc = 0;
    try {
        Volume vol(&vldb, static_cast<uint32_t>(vfsId));
        if (cmd == "ls") {
            tolm_fid_t fid = vol.resolve(args[1]);
            tolm_attr_t a = vol.attrs(args[1], fid);
            if (a.filetype != TOLM_FILETYPE_DIR) {
                printLine(a, args[1]);
            } else {
                for (const Volume::Entry& e : vol.list(args[1], fid))
                    printLine(vol.attrs(Volume::join(args[1], e.name), e.fid), e.name);
            }
        } else if (cmd == "tree") {
            std::string path = args.size() == 2 ? args[1] : "/";
            tree(vol, path, vol.resolve(path));
        } else if (cmd == "stat") {
            tolm_fid_t fid = vol.resolve(args[1]);
            tolm_attr_t a = vol.attrs(args[1], fid);
            printf(
                "path: %s\nfid: %u %u %u\ntype: %c\nmode: %04o\nlinks: %u\nuid: %u\ngid: %u\n"
                "size: %llu\nblocks: %llu\natime: %u\nmtime: %u.%09u\nctime: %u.%09u\n"
                "crtime: %u\n",
                args[1].c_str(), fid.vfs, fid.vnode, fid.unique, typeChar(a), a.mode & 07777,
                a.links, a.uid, a.gid, static_cast<unsigned long long>(a.length),
                static_cast<unsigned long long>(a.blocks), a.atime, a.mtime_secs, a.mtime_nsecs,
                a.ctime_secs, a.ctime_nsecs, a.crtime);
        } else if (cmd == "cat") {
            tolm_fid_t fid = vol.resolve(args[1]);
            vol.read(args[1], fid, [](const uint8_t* p, uint64_t n) { fwrite(p, 1, n, stdout); });
            fflush(stdout);
        } else if (cmd == "get") {
            tolm_fid_t fid = vol.resolve(args[1]);
            FILE* out = fopen(args[2].c_str(), "wb");
            if (out == nullptr) {
                fprintf(stderr, "tolmvol: %s: %s\n", args[2].c_str(), strerror(errno));
                rc = 1;
            } else {
                vol.read(args[1], fid, [&](const uint8_t* p, uint64_t n) { fwrite(p, 1, n, out); });
                if (fclose(out) != 0) {
                    fprintf(stderr, "tolmvol: %s: %s\n", args[2].c_str(), strerror(errno));
                    rc = 1;
                }
            }
        } else if (cmd == "put") {
            vol.put(args[1], args[2]);
        } else if (cmd == "mkdir") {
            vol.mkdir(args[1]);
        } else if (cmd == "rm") {
            vol.rm(args[1]);
        } else if (cmd == "rmdir") {
            vol.rmdir(args[1], recursive);
        }
    } catch (const Failure& f) {
        fprintf(stderr, "tolmvol: %s: %s (0x%07x)%s%s\n", f.path.c_str(),
                TolmErr::tolmFsLibError(f.status), f.status, f.why.empty() ? "" : ": ",
                f.why.c_str());
        rc = 1;
    }
    vldb.destroy();
    return rc;
}
