#include "ExportsNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

ExportsNbladeStatsCollector::ExportsNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("requests", new SingleColLineDesc<unsigned int>(offsetof(nb_exports_data_t, requests)));
    addLine("denials", new SingleColLineDesc<unsigned int>(offsetof(nb_exports_data_t, denials)));
    addLine("freechunks",
            new SingleColLineDesc<unsigned int>(offsetof(nb_exports_data_t, freechunks)));
    addLine("cachehit", new SingleColLineDesc<unsigned int>(offsetof(nb_exports_data_t, cachehit)));
    addLine("cachemiss",
            new SingleColLineDesc<unsigned int>(offsetof(nb_exports_data_t, cachemiss)));
    addLine("activesets",
            new SingleColLineDesc<unsigned int>(offsetof(nb_exports_data_t, activesets)));
}

void ExportsNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->exports);
}
