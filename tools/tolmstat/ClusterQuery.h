#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "ClusterView.h"
#include "NodeDialer.h"
#include "SnapshotSource.h"

// The row of one node of tolmstat cluster from its history: the rates
// between its two newest snapshots with a record of `type`, or, with a
// window, between the first and the last in it. Throws SourceError.
ClusterRow clusterRowOf(SnapshotSource& source, const std::string& node, RecordType type,
                        const std::vector<std::string>& fields, const uint32_t* from = nullptr,
                        const uint32_t* to = nullptr);

// The row of a node from its newest entries (oldest first).
ClusterRow clusterRowFrom(const std::string& node, const std::vector<std::string>& fields,
                          const std::vector<HistoryEntry>& entries);

// Asks every node's daemon at once: one non-blocking connection each
// (DaemonExchange), the nodes dealt in turn to `lanes` poll loops (this
// thread's and lanes - 1 more threads', each dialling its own share, so
// `dialer` is called from all of them at once), and gives
// their rows in the order of `nodes`. A node that cannot be dialled or
// fails has its reason in its row; one that has not answered by `deadline`
// from the call has "no answer in time", and costs the others nothing
// beyond it. A node whose service port refuses is dialled once more by its
// portmapper. Every connection is closed on return. The process's soft
// limit of descriptors is raised first, as far as the hard one allows, to
// two for each node and a hundred more.
std::vector<ClusterRow> askNodes(const std::vector<std::string>& nodes, RecordType type,
                                 const std::vector<std::string>& fields, NodeDialer& dialer,
                                 std::chrono::milliseconds deadline, unsigned lanes = 1);
