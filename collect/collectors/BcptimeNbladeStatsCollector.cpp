#include "BcptimeNbladeStatsCollector.h"

#include "Strtoul32.h"

BcptimeNbladeStatsCollector::BcptimeNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {}

void BcptimeNbladeStatsCollector::populate(nblade_data_t* record) {
    int32_t n = readFile();
    if (n <= 0) {
        return;
    }
    // The last byte read becomes the terminator (normally it is the final
    // newline), so the conversions below cannot run past the data.
    _buf[n - 1] = '\0';
    char* p = _buf;
    for (int i = 0; i < BUCKETS; i++) {
        char* next = p;
        // As a 32-bit strtoul: a number of 2^32 or more saturates at 0xFFFFFFFF.
        record->bcp.histogram[i] = strtoul32(p, &next, 0);
        p = next;
    }
}
