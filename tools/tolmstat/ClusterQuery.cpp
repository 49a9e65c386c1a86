#include "ClusterQuery.h"

#include <poll.h>
#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <thread>

#include "DaemonExchange.h"
#include "RecordValues.h"

namespace {

CsvSample sampleOf(const HistoryEntry& e, const std::vector<std::string>& fields) {
    RecordValues v(fields);
    e.record->visit(v);
    return CsvSample{e.stamp, std::move(v.values), e.afterGap};
}

// Each node being asked holds a descriptor (its connection, and for a
// moment its portmapper's socket): the soft limit is raised, as far as the
// hard one allows, to leave two for each and a hundred to spare, since the
// usual 1024 is short of a cluster of a thousand nodes.
void allowDescriptorsFor(size_t nodes) {
    rlimit lim;
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0 || lim.rlim_cur == RLIM_INFINITY)
        return;
    rlim_t want = static_cast<rlim_t>(nodes) * 2 + 100;
    if (lim.rlim_cur >= want)
        return;
    lim.rlim_cur = lim.rlim_max == RLIM_INFINITY ? want : std::min(want, lim.rlim_max);
    setrlimit(RLIMIT_NOFILE, &lim);
}

std::chrono::milliseconds leftUntil(std::chrono::steady_clock::time_point until) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    return std::max(left, std::chrono::milliseconds(0));
}

// One node in flight.
struct Asked {
    size_t row;
    std::unique_ptr<DaemonExchange> exchange;
    bool redialled = false;
};

}  // namespace

ClusterRow clusterRowFrom(const std::string& node, const std::vector<std::string>& fields,
                          const std::vector<HistoryEntry>& entries) {
    std::vector<CsvSample> samples;
    for (const HistoryEntry& e : entries)
        samples.push_back(sampleOf(e, fields));
    return clusterRow(node, fields, samples);
}

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
    return clusterRowFrom(node, fields, entries);
}

namespace {

// One lane's share of the nodes (`mine`, indexes into `nodes` and `rows`),
// asked from one thread by one poll loop.
void askLane(const std::vector<std::string>& nodes, const std::vector<size_t>& mine,
             RecordType type, const std::vector<std::string>& fields, NodeDialer& dialer,
             std::chrono::steady_clock::time_point until, std::vector<ClusterRow>& rows) {
    std::vector<Asked> asked;
    for (size_t i : mine) {
        rows[i].node = nodes[i];
        rows[i].error = "no answer in time";
        try {
            int fd = dialer.dial(nodes[i], leftUntil(until));
            asked.push_back(Asked{i, std::make_unique<DaemonExchange>(fd, type), false});
        } catch (SourceError& e) {
            rows[i].error = e.what();
        }
    }
    std::vector<pollfd> polled;
    for (;;) {
        // The finished ones leave, and their connections are closed.
        for (Asked& a : asked) {
            while (a.exchange && a.exchange->finished()) {
                ClusterRow& row = rows[a.row];
                if (a.exchange->refused() && !a.redialled) {
                    a.redialled = true;
                    a.exchange.reset();
                    try {
                        int fd = dialer.redial(row.node, leftUntil(until));
                        a.exchange = std::make_unique<DaemonExchange>(fd, type);
                    } catch (SourceError& e) {
                        row.error = e.what();
                    }
                    continue;
                }
                if (a.exchange->failed())
                    row.error = a.exchange->error();
                else
                    row = clusterRowFrom(row.node, fields, a.exchange->take());
                a.exchange.reset();
            }
        }
        asked.erase(
            std::remove_if(asked.begin(), asked.end(), [](const Asked& a) { return !a.exchange; }),
            asked.end());
        std::chrono::milliseconds left = leftUntil(until);
        if (asked.empty() || left.count() == 0)
            break;
        polled.clear();
        for (const Asked& a : asked)
            polled.push_back(pollfd{a.exchange->fd(), a.exchange->events(), 0});
        int n = poll(polled.data(), polled.size(), static_cast<int>(left.count()) + 1);
        if (n < 0 && errno != EINTR)
            break;
        for (size_t i = 0; n > 0 && i < polled.size(); i++)
            if (polled[i].revents)
                asked[i].exchange->advance();
    }
}

}  // namespace

std::vector<ClusterRow> askNodes(const std::vector<std::string>& nodes, RecordType type,
                                 const std::vector<std::string>& fields, NodeDialer& dialer,
                                 std::chrono::milliseconds deadline, unsigned lanes) {
    auto until = std::chrono::steady_clock::now() + deadline;
    allowDescriptorsFor(nodes.size());
    std::vector<ClusterRow> rows(nodes.size());
    lanes = std::max(1u, std::min<unsigned>(lanes, static_cast<unsigned>(nodes.size())));
    std::vector<std::vector<size_t>> shares(lanes);
    for (size_t i = 0; i < nodes.size(); i++)
        shares[i % lanes].push_back(i);
    std::vector<std::thread> others;
    for (unsigned l = 1; l < lanes; l++)
        others.emplace_back(askLane, std::cref(nodes), std::cref(shares[l]), type,
                            std::cref(fields), std::ref(dialer), until, std::ref(rows));
    askLane(nodes, shares[0], type, fields, dialer, until, rows);
    for (std::thread& t : others)
        t.join();
    return rows;
}
