#include "TransportNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

TransportNbladeStatsCollector::TransportNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 4096) {
    // Every line is named as the 64-bit field it fills.
#define TRANSPORT_LINE(type, name, ...) \
    addLine(#name, new SingleColLineDesc<unsigned long long>(offsetof(nb_transport_data_t, name)));
    NB_TRANSPORT_FIELDS(TRANSPORT_LINE)
#undef TRANSPORT_LINE
}

void TransportNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->transport);
}
