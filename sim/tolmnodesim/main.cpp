// tolmnodesim: the simulated node that tolmstatsd samples on a machine
// without the real N-blade and D-blade. It writes the N-blade statistics files
// under ROOT/stream.d and the D-blade's statistics block to ROOT/tolmdblade,
// serves the node's RPC services (the N-blade stream statistics, the
// storage-pool manager, the volume service, the FCD service) and the cluster's
// location services (the VLDB and the DLDB) through the portmapper, the
// D-blade file service over Rf, and refreshes its counters every period until
// SIGTERM or SIGINT.

#include <ftw.h>
#include <poll.h>
#include <rpc/rpc.h>
#include <signal.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "SimDbladeBlock.h"
#include "SimDbladeFs.h"
#include "SimDldbService.h"
#include "SimMgmtProcs.h"
#include "SimNbladeFiles.h"
#include "SimServiceLoop.h"
#include "SimStorageNode.h"
#include "SimStreamService.h"
#include "SimVldbService.h"
#include "TolmVersion.h"

namespace {

volatile sig_atomic_t g_stop = 0;

const char kStatsVfs[] = "tolm.stats_";

int removeOne(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

void removeTree(const std::string& dir) {
    nftw(dir.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
}

void onStop(int) {
    g_stop = 1;
}

const char kUsage[] =
    "usage: tolmnodesim --root DIR [options]\n"
    "  --root DIR              write the node's files under DIR (DIR/stream.d/...,\n"
    "                          DIR/nblade.expected: the N-blade record they should give,\n"
    "                          DIR/tolmdblade)\n"
    "  --period SECONDS        refresh the files every SECONDS (default 1)\n"
    "  --no-stream             do not register the N-blade stream statistics service\n"
    "  --no-mgmt               do not start the stand-ins of the management processes\n"
    "                          (children named Tomcat, vldb, hamgr and tolmauthd)\n"
    "  --stream-error N        answer every stream statistics request with error N\n"
    "  --stream-word-delta N   add N (may be negative) to the words of every reply\n"
    "  --stream-swapped        send the counter words in the other byte order\n"
    "  --hang                  register every service but never answer a request (the\n"
    "                          callers wait for their time-outs)\n"
    "  --help                  print this text\n"
    "location services:\n"
    "  --vfs NAME:ID:DBLADE[:DIR]\n"
    "                          a VFS the VLDB knows, served by the D-blade file\n"
    "                          service from DIR when given (repeatable; default\n"
    "                          tolm.stats_:100:1)\n"
    "  --volume DIR            serve the statistics VFS tolm.stats_ from DIR (default:\n"
    "                          a temporary directory, removed at exit)\n"
    "  --stats-vfs-after S     the VLDB knows tolm.stats_ only after S seconds\n"
    "  --dblade ID:PORT[:HOST] a D-blade the DLDB knows: its Rf port and host\n"
    "                          (repeatable; default 1:7700:localhost)\n"
    "  --no-vldb, --no-dldb    do not register that service\n"
    "  --vldb-result N         answer every VLDB lookup with result N (102, 119...)\n"
    "  --dldb-status N         answer every DLDB lookup with status N (1, 3...)\n"
    "  --vldb-stale-xid N      answer the next N VLDB requests with replies of\n"
    "                          another xid, five a second, until the caller goes\n"
    "  --vldb-drop N, --dldb-drop N\n"
    "                          drop the first N requests by shutting their\n"
    "                          connection (the callers remake their clients)\n"
    "D-blade file service (Rf, on the port of the first --dblade):\n"
    "  --no-dblade-fs          do not start it\n"
    "  --fs-busy N             answer the next N requests with 288 (busy)\n"
    "  --fs-offline-once       answer the first request with 287 (offline)\n"
    "  --fs-novfs-once         answer the first request with 16 (no such VFS)\n"
    "  --fs-drop PCT           drop PCT%% of its outgoing datagrams\n"
    "  --fs-silent             never answer\n"
    "  --fs-max-name N         refuse names longer than N bytes (error 260)\n"
    "  --fs-seg-header narrow|wide\n"
    "                          directory segment headers: 16-bit next_name and\n"
    "                          current_name, 8 bytes reserved (narrow, the\n"
    "                          default), or 32-bit ones, nothing reserved (wide)\n"
    "  --fs-readdir-count bytes|segments\n"
    "                          the unit of a directory read's count (bytes)\n"
    "  --fs-readdir-per-reply N\n"
    "                          directory segments per reply, 1 to 4 (4)\n"
    "  --fs-eof-with-data      the end flag on the reply with the last segment\n"
    "                          (default: in a reply of its own)\n"
    "  --fs-self-listing NAME  directories named NAME list themselves as \"itself\"\n"
    "  --fs-endless-dir NAME   reads of directories named NAME never end\n"
    "  --fs-log FILE           append one line per request to FILE (and one per\n"
    "                          VLDB stream lookup)\n"
    "storage side:\n";

struct Settings {
    std::string root;
    int period = 1;
    bool stream = true;
    bool mgmt = true;
    bool hang = false;
    SimStreamService::Options streamOptions;
    struct VfsEntry {
        std::string name;
        uint32_t id;
        uint16_t dblade;
        std::string dir;
    };
    struct DbladeEntry {
        uint16_t id;
        uint16_t port;
        std::string host;
    };
    std::vector<VfsEntry> vfses;
    std::vector<DbladeEntry> dblades;
    bool vldb = true;
    bool dldb = true;
    SimVldbService::Options vldbOptions;
    SimDldbService::Options dldbOptions;
    std::string volume;
    int statsVfsAfter = 0;
    bool dbladeFs = true;
    SimDbladeFs::Options fsOptions;
    SimStorageConfig storage;
};

bool numberArg(const char* text, long& out) {
    char* end = nullptr;
    out = strtol(text, &end, 0);
    return *text != '\0' && *end == '\0';
}

// Splits "A:B[:C]" at its colons.
std::vector<std::string> fields(const std::string& text) {
    std::vector<std::string> out;
    size_t start = 0;
    for (;;) {
        size_t colon = text.find(':', start);
        out.push_back(text.substr(start, colon - start));
        if (colon == std::string::npos)
            return out;
        start = colon + 1;
    }
}

bool parseVfs(const std::string& text, Settings::VfsEntry& out) {
    std::vector<std::string> f = fields(text);
    long id = 0;
    long dblade = 0;
    if ((f.size() != 3 && f.size() != 4) || f[0].empty() || !numberArg(f[1].c_str(), id) ||
        !numberArg(f[2].c_str(), dblade) || id < 0 || id > 0xFFFFFFFFL || dblade < 0 ||
        dblade > 0xFFFF)
        return false;
    out = Settings::VfsEntry{f[0], static_cast<uint32_t>(id), static_cast<uint16_t>(dblade),
                             f.size() == 4 ? f[3] : ""};
    return true;
}

bool parseDblade(const std::string& text, Settings::DbladeEntry& out) {
    std::vector<std::string> f = fields(text);
    long id = 0;
    long port = 0;
    if ((f.size() != 2 && f.size() != 3) || !numberArg(f[0].c_str(), id) ||
        !numberArg(f[1].c_str(), port) || id < 0 || id > 0xFFFF || port < 1 || port > 0xFFFF)
        return false;
    out = Settings::DbladeEntry{static_cast<uint16_t>(id), static_cast<uint16_t>(port),
                                f.size() == 3 ? f[2] : "localhost"};
    return true;
}

// Returns false with a message on standard error for a bad command line.
bool parse(int argc, char** argv, Settings& s, bool& help) {
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        auto value = [&](long& out) {
            if (i + 1 >= argc || !numberArg(argv[i + 1], out)) {
                fprintf(stderr, "tolmnodesim: %s needs a number\n", a.c_str());
                return false;
            }
            i++;
            return true;
        };
        long n = 0;
        if (a == "--help") {
            help = true;
        } else if (a == "--root") {
            if (i + 1 >= argc) {
                fprintf(stderr, "tolmnodesim: --root needs a directory\n");
                return false;
            }
            s.root = argv[++i];
        } else if (a == "--period") {
            if (!value(n) || n < 1)
                return false;
            s.period = static_cast<int>(n);
        } else if (a == "--no-stream") {
            s.stream = false;
        } else if (a == "--no-mgmt") {
            s.mgmt = false;
        } else if (a == "--stream-error") {
            if (!value(n))
                return false;
            s.streamOptions.error = static_cast<int32_t>(n);
        } else if (a == "--stream-word-delta") {
            if (!value(n))
                return false;
            s.streamOptions.wordDelta = static_cast<int32_t>(n);
        } else if (a == "--hang") {
            s.hang = true;
        } else if (a == "--vfs" || a == "--dblade") {
            bool ok = i + 1 < argc;
            if (ok && a == "--vfs") {
                Settings::VfsEntry v;
                ok = parseVfs(argv[i + 1], v);
                if (ok)
                    s.vfses.push_back(v);
            } else if (ok) {
                Settings::DbladeEntry d;
                ok = parseDblade(argv[i + 1], d);
                if (ok)
                    s.dblades.push_back(d);
            }
            if (!ok) {
                fprintf(stderr, "tolmnodesim: %s needs %s\n", a.c_str(),
                        a == "--vfs" ? "NAME:ID:DBLADE[:DIR]" : "ID:PORT[:HOST]");
                return false;
            }
            i++;
        } else if (a == "--volume" || a == "--fs-log") {
            if (i + 1 >= argc) {
                fprintf(stderr, "tolmnodesim: %s needs a path\n", a.c_str());
                return false;
            }
            (a == "--volume" ? s.volume : s.fsOptions.logFile) = argv[++i];
        } else if (a == "--stats-vfs-after") {
            if (!value(n) || n < 0)
                return false;
            s.statsVfsAfter = static_cast<int>(n);
        } else if (a == "--no-dblade-fs") {
            s.dbladeFs = false;
        } else if (a == "--fs-busy") {
            if (!value(n) || n < 0)
                return false;
            s.fsOptions.busyRequests = static_cast<uint32_t>(n);
        } else if (a == "--fs-offline-once") {
            s.fsOptions.offlineOnce = true;
        } else if (a == "--fs-novfs-once") {
            s.fsOptions.noVfsOnce = true;
        } else if (a == "--fs-drop") {
            if (!value(n) || n < 0 || n > 100)
                return false;
            s.fsOptions.dropPct = static_cast<int32_t>(n);
        } else if (a == "--fs-max-name") {
            if (!value(n) || n < 1)
                return false;
            s.fsOptions.maxName = static_cast<size_t>(n);
        } else if (a == "--fs-silent") {
            s.fsOptions.silent = true;
        } else if (a == "--fs-seg-header" && i + 1 < argc) {
            std::string v = argv[++i];
            if (v != "narrow" && v != "wide")
                return false;
            s.fsOptions.dirLayout.header =
                v == "wide" ? SimDirSegments::Header::Wide : SimDirSegments::Header::Narrow;
        } else if (a == "--fs-readdir-count" && i + 1 < argc) {
            std::string v = argv[++i];
            if (v != "bytes" && v != "segments")
                return false;
            s.fsOptions.dirLayout.countInSegments = v == "segments";
        } else if (a == "--fs-readdir-per-reply") {
            if (!value(n) || n < 1 || n > 4)
                return false;
            s.fsOptions.dirLayout.segmentsPerReply = static_cast<int>(n);
        } else if ((a == "--fs-self-listing" || a == "--fs-endless-dir") && i + 1 < argc) {
            (a == "--fs-self-listing" ? s.fsOptions.selfListing : s.fsOptions.endlessDir) =
                argv[++i];
        } else if (a == "--fs-eof-with-data") {
            s.fsOptions.dirLayout.endWithData = true;
        } else if (a == "--no-vldb") {
            s.vldb = false;
        } else if (a == "--no-dldb") {
            s.dldb = false;
        } else if (a == "--vldb-result") {
            if (!value(n) || n < 0)
                return false;
            s.vldbOptions.forcedResult = static_cast<uint32_t>(n);
        } else if (a == "--dldb-status") {
            if (!value(n) || n < 0)
                return false;
            s.dldbOptions.forcedStatus = static_cast<int32_t>(n);
        } else if (a == "--vldb-stale-xid") {
            if (!value(n) || n < 0)
                return false;
            s.vldbOptions.staleRequests = static_cast<uint32_t>(n);
        } else if (a == "--vldb-drop") {
            if (!value(n) || n < 0)
                return false;
            s.vldbOptions.dropRequests = static_cast<uint32_t>(n);
        } else if (a == "--dldb-drop") {
            if (!value(n) || n < 0)
                return false;
            s.dldbOptions.dropRequests = static_cast<uint32_t>(n);
        } else if (a == "--stream-swapped") {
            s.streamOptions.swapped = true;
        } else if (SimStorageNode::needsValue(a)) {
            if (i + 1 >= argc || !numberArg(argv[i + 1], n) ||
                !SimStorageNode::parseOption(a, argv[i + 1], s.storage)) {
                fprintf(stderr, "tolmnodesim: unknown option or bad number: %s\n", a.c_str());
                return false;
            }
            i++;
        } else if (!SimStorageNode::parseOption(a, "", s.storage)) {
            fprintf(stderr, "tolmnodesim: unknown option %s\n", a.c_str());
            return false;
        }
    }
    return true;
}

// The statistics files under ROOT/stream.d, and beside them ROOT/nblade.expected:
// what a collector should make of them (SimNbladeFiles::expected).
bool writeNblade(const std::string& root, uint64_t tick) {
    if (!SimNbladeFiles::write(root + "/stream.d", tick))
        return false;
    std::string text = SimNbladeFiles::expected(tick);
    std::string aside = root + "/nblade.expected.new";
    FILE* f = fopen(aside.c_str(), "w");
    if (f == nullptr)
        return false;
    bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = fclose(f) == 0 && ok;
    return ok && rename(aside.c_str(), (root + "/nblade.expected").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "tolmnodesim"))
        return 0;
    Settings s;
    bool help = false;
    if (!parse(argc, argv, s, help)) {
        fputs(kUsage, stderr);
        fputs(SimStorageNode::optionsHelp(), stderr);
        return 1;
    }
    if (help) {
        fputs(kUsage, stdout);
        fputs(SimStorageNode::optionsHelp(), stdout);
        return 0;
    }
    if (s.root.empty()) {
        fprintf(stderr, "tolmnodesim: --root is required\n");
        fputs(kUsage, stderr);
        return 1;
    }

    struct sigaction sa;
    memset(&sa, 0, sizeof(sa));
    sa.sa_handler = onStop;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);

    // The children are started while this process has no other thread.
    if (s.mgmt && !SimMgmtProcs::start()) {
        fprintf(stderr, "tolmnodesim: cannot start the management processes\n");
        return 1;
    }
    mkdir(s.root.c_str(), 0755);
    std::string streamDir = s.root + "/stream.d";
    uint64_t tick = 0;
    if (!writeNblade(s.root, tick)) {
        fprintf(stderr, "tolmnodesim: cannot write the statistics files under %s\n",
                streamDir.c_str());
        return 1;
    }
    std::string block = s.root + "/tolmdblade";
    if (!SimDbladeBlock::write(block, tick)) {
        fprintf(stderr, "tolmnodesim: cannot write %s\n", block.c_str());
        return 1;
    }
    if (s.stream && !SimStreamService::start(s.streamOptions)) {
        fprintf(stderr, "tolmnodesim: cannot register the stream statistics service\n");
        return 1;
    }
    if (!SimStorageNode::start(s.storage)) {
        fprintf(stderr, "tolmnodesim: cannot register the storage services\n");
        return 1;
    }
    // The statistics VFS, served from the volume directory.
    std::string tempVolume;
    if (s.volume.empty()) {
        char pattern[] = "/tmp/tolmnodesim-volume.XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            fprintf(stderr, "tolmnodesim: cannot make a temporary volume directory\n");
            return 1;
        }
        tempVolume = s.volume = pattern;
    }
    mkdir(s.volume.c_str(), 0755);
    bool statsVfs = false;
    for (auto& v : s.vfses)
        if (v.name == kStatsVfs) {
            statsVfs = true;
            if (v.dir.empty())
                v.dir = s.volume;
        }
    if (!statsVfs)
        s.vfses.push_back(Settings::VfsEntry{kStatsVfs, 100, 1, s.volume});
    if (s.dblades.empty())
        s.dblades.push_back(Settings::DbladeEntry{1, 7700, "localhost"});
    if (s.vldb) {
        if (!SimVldbService::start()) {
            fprintf(stderr, "tolmnodesim: cannot register the VLDB\n");
            return 1;
        }
        for (const auto& v : s.vfses)
            if (s.statsVfsAfter == 0 || v.name != kStatsVfs)
                SimVldbService::addVfs(v.name, v.id, v.dblade);
        SimVldbService::setOptions(s.vldbOptions);
        SimVldbService::setLogFile(s.fsOptions.logFile);
    }
    if (s.dldb) {
        if (!SimDldbService::start()) {
            fprintf(stderr, "tolmnodesim: cannot register the DLDB\n");
            return 1;
        }
        for (const auto& d : s.dblades)
            SimDldbService::addDblade(d.id, d.host, d.port);
        SimDldbService::setOptions(s.dldbOptions);
    }
    if (s.dbladeFs) {
        for (const auto& v : s.vfses)
            if (!v.dir.empty())
                SimDbladeFs::addVfs(v.id, v.name, v.dir);
        s.fsOptions.port = s.dblades.front().port;
        if (!SimDbladeFs::start(s.fsOptions)) {
            fprintf(stderr, "tolmnodesim: cannot start the D-blade file service on port %u\n",
                    s.fsOptions.port);
            return 1;
        }
    }
    fprintf(stderr, "tolmnodesim: serving under %s, the statistics volume from %s\n",
            s.root.c_str(), s.volume.c_str());

    auto next = std::chrono::steady_clock::now() + std::chrono::seconds(s.period);
    auto statsVfsAt = std::chrono::steady_clock::now() + std::chrono::seconds(s.statsVfsAfter);
    bool statsVfsPending = s.vldb && s.statsVfsAfter > 0;
    while (!g_stop) {
        if (statsVfsPending && std::chrono::steady_clock::now() >= statsVfsAt) {
            for (const auto& v : s.vfses)
                if (v.name == kStatsVfs)
                    SimVldbService::addVfs(v.name, v.id, v.dblade);
            statsVfsPending = false;
        }
        // Hanging, requests wait unread in their connections.
        if (s.hang)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        else
            SimServiceLoop::serveOnce(100);
        if (std::chrono::steady_clock::now() >= next) {
            tick++;
            writeNblade(s.root, tick);
            SimDbladeBlock::write(block, tick);
            next += std::chrono::seconds(s.period);
        }
    }

    if (s.dbladeFs)
        SimDbladeFs::stop();
    if (s.dldb)
        SimDldbService::stop();
    if (s.vldb)
        SimVldbService::stop();
    SimStorageNode::stop();
    if (s.stream)
        SimStreamService::stop();
    if (s.mgmt)
        SimMgmtProcs::stop();
    if (!tempVolume.empty())
        removeTree(tempVolume);
    return 0;
}
