#include "LeaseConnNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColLineDesc.h"

LeaseConnNbladeStatsCollector::LeaseConnNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 1024) {
    addLine("NormalMapOperation", new SingleColLineDesc<unsigned int>(
                                      offsetof(nb_lease_conn_data_t, normalMapOperation)));
    addLine("NonAsyncOpen",
            new SingleColLineDesc<unsigned int>(offsetof(nb_lease_conn_data_t, nonAsyncOpen)));
    addLine("AsyncOpen",
            new SingleColLineDesc<unsigned int>(offsetof(nb_lease_conn_data_t, asyncOpen)));
    addLine("AsyncOpenCallback",
            new SingleColLineDesc<unsigned int>(offsetof(nb_lease_conn_data_t, asyncOpenCallback)));
    addLine("AsyncStateChange",
            new SingleColLineDesc<unsigned int>(offsetof(nb_lease_conn_data_t, asyncStateChange)));
    addLine("AsyncStateCloseConn", new SingleColLineDesc<unsigned int>(
                                       offsetof(nb_lease_conn_data_t, asyncStateCloseConn)));
}

void LeaseConnNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->leaseConn);
}
