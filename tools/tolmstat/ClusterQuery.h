#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ClusterView.h"
#include "SnapshotSource.h"

// The row of one node of tolmstat cluster from its history: the rates
// between its two newest snapshots with a record of `type`, or, with a
// window, between the first and the last in it. Throws SourceError.
ClusterRow clusterRowOf(SnapshotSource& source, const std::string& node, RecordType type,
                        const std::vector<std::string>& fields, const uint32_t* from = nullptr,
                        const uint32_t* to = nullptr);

// Opens the history of one node; throws SourceError when it cannot.
using NodeOpener = std::function<std::unique_ptr<SnapshotSource>(const std::string& node)>;

// Asks every node at once, one thread each, and gives their rows in the
// order of `nodes`. A node whose source fails, or that has not answered by
// `deadline` from the call, is not reached (its thread is left to end on its
// own, touching nothing of the caller's): one slow node costs the others
// nothing beyond the deadline. `open` is called from the threads. The
// process's soft limit of descriptors is raised first, as far as the hard
// one allows, to four for each node and a hundred more.
std::vector<ClusterRow> askNodes(const std::vector<std::string>& nodes, RecordType type,
                                 const std::vector<std::string>& fields, const NodeOpener& open,
                                 std::chrono::milliseconds deadline);
