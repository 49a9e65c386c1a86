#include "ScpNbladeStatsCollector.h"

#include <cstddef>

#include "SingleColExplicitLineDesc.h"

ScpNbladeStatsCollector::ScpNbladeStatsCollector(const std::string& filename)
    : NbladeFileStatsCollector(filename, 2048) {
    addLine("AuthCallsUpcalls",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, authCallsUpcalls), 4));
    addLine("AuthCallsReturned",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, authCallsReturned), 4));
    addLine("AuthCallsReturnedValid",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, authCallsReturnedValid), 4));
    addLine("SidTransModuleCalls",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, sidTransModuleCalls), 4));
    addLine("SidTransModuleCallsRetur",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, sidTransModuleCallsReturned), 4));
    addLine("SidTransUpcalls",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, sidTransUpcalls), 4));
    addLine("SidTransCallsReturned",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, sidTransCallsReturned), 4));
    addLine("CifsVldbUpcalls",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, cifsVldbUpcalls), 4));
    addLine("CifsVldbCallsReturned",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, cifsVldbCallsReturned), 4));
    addLine("UpCalls", new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, upCalls), 4));
    addLine("SuccessCallbacks",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, successCallbacks), 4));
    addLine("FailCallbacks",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, failCallbacks), 4));
    addLine("VldbVfsLookups",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbVfsLookups), 4));
    addLine("VldbVfsLookupSuccesses",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbVfsLookupSuccesses), 4));
    addLine("VldbVfsLookupFailures",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbVfsLookupFailures), 4));
    addLine("VldbRootLookups",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbRootLookups), 4));
    addLine("VldbRootLookupSuccesses",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbRootLookupSuccesses), 4));
    addLine("VldbRootLookupFailures",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbRootLookupFailures), 4));
    addLine("VldbMountpointLookups",
            new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbMountpointLookups), 4));
    addLine(
        "VldbMountpointLookupSucc",
        new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbMountpointLookupSuccesses), 4));
    addLine(
        "VldbMountpointLookupFail",
        new SingleColExplicitLineDesc(offsetof(nb_scp_data_t, vldbMountpointLookupFailures), 4));
}

void ScpNbladeStatsCollector::populate(nblade_data_t* record) {
    _populate(&record->scp);
}
