#include "RaNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColExplicitLineDesc.h"

RaNbladeStatsCollector::RaNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 4096) {
    // Every line is named as the field it fills, which is 4 or 8 bytes wide.
#define RA_LINE(type, name, ...) \
    addLine(#name, new SingleColExplicitLineDesc(offsetof(nb_ra_data_t, name), sizeof(type)));
    NB_RA_FIELDS(RA_LINE)
#undef RA_LINE
}

void RaNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->ra);
}
