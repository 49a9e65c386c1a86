#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The daemon's settings, parsed from its command line (long options only).
class CollectorConfig {
public:
    // Parses the options; may end the process (help, values, bad options).
    CollectorConfig(int argc, char** argv);
    // Every setting at its default except the statistics VFS name.
    explicit CollectorConfig(std::string& vfsname);
    CollectorConfig(const CollectorConfig& other) = default;

    const char* getSettings() const { return settings.c_str(); }
    [[noreturn]] static void usage(FILE* stream, char* progname, int status);
    [[noreturn]] void showValues();
    void initialize();

    std::string vfsname;
    std::string dumpDir;
    uint32_t baseCollectionPeriod;
    uint32_t longSampleRate;
    uint32_t persistSampleRate;
    int32_t shortRingSize;
    int32_t longRingSize;
    int32_t persistedRingSize;
    bool noDaemon;
    bool persistBinary;
    bool dumpBinary;
    bool debug;
    bool skipZeroXmlStats;

private:
    void setDefaults();
    std::string settings;
};

// Replaces `out` with a compact duration such as "1d1h1m1s"; empty for 0.
void formatTime(std::string& out, int seconds);
