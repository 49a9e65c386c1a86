#include "CollectorConfig.h"

#include <getopt.h>

#include <cstdlib>
#include <cstring>
#include <sstream>

#include "Strtoul32.h"

namespace {

enum Option {
    OPT_HELP = 1,
    OPT_NODAEMON,
    OPT_SHOWZERO,
    OPT_DEBUG,
    OPT_VALUES,
    OPT_VFS,
    OPT_BASE,
    OPT_SHORTENTRIES,
    OPT_LONGENTRIES,
    OPT_PERSISTENTRIES,
    OPT_LONGSAMPLERATE,
    OPT_PERSISTSAMPLERATE,
    OPT_PERSISTTYPE,
    OPT_DUMPTYPE,
    OPT_DUMPDIR,
};

const option kOptions[] = {
    {"help", no_argument, nullptr, OPT_HELP},
    {"nodaemon", no_argument, nullptr, OPT_NODAEMON},
    {"showzero", no_argument, nullptr, OPT_SHOWZERO},
    {"debug", no_argument, nullptr, OPT_DEBUG},
    {"values", no_argument, nullptr, OPT_VALUES},
    {"vfs", required_argument, nullptr, OPT_VFS},
    {"base", required_argument, nullptr, OPT_BASE},
    {"shortentries", required_argument, nullptr, OPT_SHORTENTRIES},
    {"longentries", required_argument, nullptr, OPT_LONGENTRIES},
    {"persistentries", required_argument, nullptr, OPT_PERSISTENTRIES},
    {"longsamplerate", required_argument, nullptr, OPT_LONGSAMPLERATE},
    {"persistsamplerate", required_argument, nullptr, OPT_PERSISTSAMPLERATE},
    {"persisttype", required_argument, nullptr, OPT_PERSISTTYPE},
    {"dumptype", required_argument, nullptr, OPT_DUMPTYPE},
    {"dumpdir", required_argument, nullptr, OPT_DUMPDIR},
    {nullptr, 0, nullptr, 0},
};

bool isPrefixOf(const char* arg, const char* word) {
    size_t n = strlen(arg);
    return n <= strlen(word) && strncmp(arg, word, n) == 0;
}

// Binary for a prefix of "binary", XML for a prefix of "xml".
bool parseType(const char* arg, const char* what, char* progname) {
    if (arg[0] != '\0') {
        if (isPrefixOf(arg, "binary")) return true;
        if (isPrefixOf(arg, "xml")) return false;
    }
    fprintf(stderr, "%s must be binary or xml\n", what);
    CollectorConfig::usage(stderr, progname, 1);
}

uint32_t toUnsigned(const char* arg) { return strtoul32(arg, nullptr, 0); }

}  // namespace

void CollectorConfig::setDefaults() {
    vfsname = "tolm.stats_";
    dumpDir = "/space1";
    baseCollectionPeriod = 30;
    longSampleRate = 8;
    persistSampleRate = 60;
    shortRingSize = 10;
    longRingSize = 10;
    persistedRingSize = 10;
    noDaemon = false;
    persistBinary = false;
    dumpBinary = true;
    debug = false;
    skipZeroXmlStats = true;
}

CollectorConfig::CollectorConfig(std::string& name) {
    setDefaults();
    vfsname = name;
    initialize();
}

CollectorConfig::CollectorConfig(int argc, char** argv) {
    setDefaults();
    bool values = false;
    optind = 1;
    int c;
    while ((c = getopt_long_only(argc, argv, "", kOptions, nullptr)) != -1) {
        switch (c) {
            case OPT_HELP:
                usage(stderr, argv[0], 0);
            case OPT_NODAEMON:
                noDaemon = true;
                break;
            case OPT_SHOWZERO:
                skipZeroXmlStats = false;
                break;
            case OPT_DEBUG:
                debug = true;
                break;
            case OPT_VALUES:
                values = true;
                break;
            case OPT_VFS:
                vfsname = optarg;
                break;
            case OPT_BASE:
                baseCollectionPeriod = toUnsigned(optarg);
                break;
            case OPT_SHORTENTRIES:
                shortRingSize = atoi(optarg);
                break;
            case OPT_LONGENTRIES:
                longRingSize = atoi(optarg);
                break;
            case OPT_PERSISTENTRIES:
                persistedRingSize = atoi(optarg);
                break;
            case OPT_LONGSAMPLERATE:
                longSampleRate = toUnsigned(optarg);
                break;
            case OPT_PERSISTSAMPLERATE:
                persistSampleRate = toUnsigned(optarg);
                break;
            case OPT_PERSISTTYPE:
                persistBinary = parseType(optarg, "persisttype", argv[0]);
                break;
            case OPT_DUMPTYPE:
                dumpBinary = parseType(optarg, "dumptype", argv[0]);
                break;
            case OPT_DUMPDIR:
                dumpDir = optarg;
                break;
            default:
                usage(stderr, argv[0], 1);
        }
    }
    // Values the collection loop and the rings cannot work with are refused here.
    const char* refused = nullptr;
    if (longSampleRate == 0)
        refused = "longsamplerate must be at least 1\n";
    else if (shortRingSize != -1 && shortRingSize < 1)
        refused = "shortentries must be -1 or at least 1\n";
    else if (longRingSize != -1 && longRingSize < 1)
        refused = "longentries must be -1 or at least 1\n";
    if (refused) {
        fputs(refused, stderr);
        usage(stderr, argv[0], 1);
    }
    if (values) showValues();
    initialize();
}

void CollectorConfig::usage(FILE* stream, char* progname, int status) {
    fprintf(stream, "usage: %s <options>\n", progname);
    fprintf(stream, "\t--vfs <vfs name>\n");
    fprintf(stream, "\t--base <base collection period>\n");
    fprintf(stream, "\t--shortentries <# short interval entries>\n");
    fprintf(stream, "\t--longentries <# long interval entries>\n");
    fprintf(stream, "\t--persistentries <# persisted entries>\n");
    fprintf(stream, "\t--longsamplerate <long entry sample rate>\n");
    fprintf(stream, "\t--persistsamplerate <persist sample rate>\n");
    fprintf(stream, "\t--persisttype binary | xml\n");
    fprintf(stream, "\t--dumptype binary | xml\n");
    fprintf(stream, "\t--dumpdir dir\n");
    fprintf(stream, "\t--nodaemon\n");
    fprintf(stream, "\t--showzero\n");
    fprintf(stream, "\t--debug\n");
    fprintf(stream, "\t--values\n");
    exit(status);
}

void CollectorConfig::showValues() {
    std::string base, longInterval, persistInterval;
    formatTime(base, static_cast<int>(baseCollectionPeriod));
    formatTime(longInterval, static_cast<int>(baseCollectionPeriod * longSampleRate));
    formatTime(persistInterval, static_cast<int>(baseCollectionPeriod * persistSampleRate));
    if (!noDaemon) printf("Collector runs as a daemon\n\n");
    printf("Base Collection interval %s\n", base.c_str());
    printf("Long Collection interval %s (every %d samples)\n", longInterval.c_str(),
           static_cast<int>(longSampleRate));
    printf("Internal entries maximum: %d\n", shortRingSize + longRingSize);
    printf("    %d on base interval; %d on long interval\n", shortRingSize, longRingSize);
    printf("Internal entries written as %s\n", dumpBinary ? "binary" : "xml");
    if (!dumpBinary && skipZeroXmlStats) printf("    Stats whose values are 0 skipped\n");
    printf("Dump directory: %s\n", dumpDir.c_str());
    printf("\n");
    printf("Persist VFS: %s\n", vfsname.c_str());
    printf("Persist interval: %s (every %d samples)\n", persistInterval.c_str(),
           static_cast<int>(persistSampleRate));
    printf("Persisted entries maximum: %d\n", persistedRingSize);
    printf("Persisted entries written as %s\n", persistBinary ? "binary" : "xml");
    if (!persistBinary && skipZeroXmlStats) printf("    Stats whose values are 0 are skipped\n");
    if (debug) printf("debug enabled\n");
    exit(0);
}

void CollectorConfig::initialize() {
    std::ostringstream s;
    s << "vfs=" << vfsname << " base=" << baseCollectionPeriod << " longsamplerate=" << longSampleRate
      << " persistsamplerate=" << persistSampleRate << " shortentries=" << shortRingSize
      << " longentries=" << longRingSize << " persistentries=" << persistedRingSize
      << " noDaemon=" << noDaemon << " persistBinary=" << persistBinary
      << " dumpBinary=" << dumpBinary << " debug=" << debug << " skipzero=" << skipZeroXmlStats;
    settings = s.str();
}

void formatTime(std::string& out, int seconds) {
    std::ostringstream s;
    int32_t left = seconds;
    if (left > 86399) {
        s << left / 86400 << "d";
        left -= left / 86400 * 86400;
    }
    if (left > 3600) {
        s << left / 3600 << "h";
        left -= left / 3600 * 3600;
    }
    if (left > 60) {
        s << left / 60 << "m";
        left -= left / 60 * 60;
    }
    if (left != 0) s << left << "s";
    out = s.str();
}
