#include "TolmXmitDescsNbladeStatsCollector.h"

#include <cstddef>

#include "DoubleColLineDesc.h"

TolmXmitDescsNbladeStatsCollector::TolmXmitDescsNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("Curr/Max",
            new DoubleColLineDesc<unsigned int>(offsetof(nb_tolm_xmit_descs_data_t, current),
                                                offsetof(nb_tolm_xmit_descs_data_t, max)));
    addLine("UpcallDrops",
            new DoubleColLineDesc<unsigned int>(offsetof(nb_tolm_xmit_descs_data_t, upcallDrops),
                                                DoubleColLineDesc<unsigned int>::NO_OFFSET));
}

void TolmXmitDescsNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->tolmXmitDescs);
}
