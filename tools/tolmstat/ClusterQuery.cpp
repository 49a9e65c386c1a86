#include "ClusterQuery.h"

#include <sys/resource.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "RecordValues.h"

namespace {

CsvSample sampleOf(const HistoryEntry& e, const std::vector<std::string>& fields) {
    RecordValues v(fields);
    e.record->visit(v);
    return CsvSample{e.stamp, std::move(v.values), e.afterGap};
}

// What one node's thread and the caller share; whoever leaves last frees it.
struct Ask {
    std::mutex lock;
    std::condition_variable* done = nullptr;  // the caller's, while it waits
    size_t* pending = nullptr;
    ClusterRow row;
};

// Each node being asked holds a descriptor or two (the portmapper's socket,
// then its connection): the soft limit is raised, as far as the hard one
// allows, to leave four for each and a hundred to spare, since the usual
// 1024 is short of a cluster of 500 nodes.
void allowDescriptorsFor(size_t nodes) {
    rlimit lim;
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY)
        return;
    rlim_t want = static_cast<rlim_t>(nodes) * 4 + 100;
    if (lim.rlim_cur >= want)
        return;
    lim.rlim_cur = lim.rlim_max == RLIM_INFINITY ? want : std::min(want, lim.rlim_max);
    setrlimit(RLIMIT_NOFILE, &lim);
}

}  // namespace

ClusterRow clusterRowOf(SnapshotSource& source, const std::string& node, RecordType type,
                        const std::vector<std::string>& fields, const uint32_t* from,
                        const uint32_t* to) {
    std::vector<HistoryEntry> entries;
    if (from || to) {
        entries = source.window(type, from ? *from : 0, to ? *to : 0xFFFFFFFFu);
        if (entries.size() > 2)
            entries.erase(entries.begin() + 1, entries.end() - 1);
    } else {
        entries = source.newest(type, 2);
    }
    std::vector<CsvSample> samples;
    for (const HistoryEntry& e : entries)
        samples.push_back(sampleOf(e, fields));
    return clusterRow(node, fields, samples);
}

std::vector<ClusterRow> askNodes(const std::vector<std::string>& nodes, RecordType type,
                                 const std::vector<std::string>& fields, const NodeOpener& open,
                                 std::chrono::milliseconds deadline) {
    auto until = std::chrono::steady_clock::now() + deadline;
    allowDescriptorsFor(nodes.size());
    std::mutex waitLock;
    std::condition_variable done;
    size_t pending = nodes.size();
    std::vector<std::shared_ptr<Ask>> asks;
    for (const std::string& node : nodes) {
        auto ask = std::make_shared<Ask>();
        ask->done = &done;
        ask->pending = &pending;
        ask->row.node = node;
        ask->row.error = "no answer in time";
        asks.push_back(ask);
        // The thread has copies of all it needs but the opener, which it
        // calls first and may outlive only when the caller gave up on it.
        auto work = [ask, node, type, fields, open, &waitLock] {
            ClusterRow row;
            try {
                std::unique_ptr<SnapshotSource> source = open(node);
                row = clusterRowOf(*source, node, type, fields);
            } catch (SourceError& e) {
                row.node = node;
                row.error = e.what();
            }
            std::lock_guard<std::mutex> held(ask->lock);
            ask->row = std::move(row);
            if (ask->done) {
                std::lock_guard<std::mutex> caller(waitLock);
                --*ask->pending;
                ask->done->notify_all();
            }
        };
        try {
            std::thread(work).detach();
        } catch (const std::system_error& e) {
            // Out of threads: this node is not asked.
            ask->row.error = std::string("cannot ask: ") + e.what();
            std::lock_guard<std::mutex> held(waitLock);
            pending--;
        }
    }
    {
        std::unique_lock<std::mutex> held(waitLock);
        done.wait_until(held, until, [&] { return pending == 0; });
    }
    std::vector<ClusterRow> rows;
    for (auto& ask : asks) {
        std::lock_guard<std::mutex> held(ask->lock);
        // From here on a late thread tells no one.
        ask->done = nullptr;
        rows.push_back(ask->row);
    }
    return rows;
}
