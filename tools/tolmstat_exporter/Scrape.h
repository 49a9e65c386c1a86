#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "MetricNames.h"
#include "SnapshotSource.h"

// One scrape of the node: the latest snapshot of each record, asked of the
// daemon's query service (never a collection of its own, so a hung node
// service cannot stall it), in the Prometheus text format 0.0.4 through the
// same renderer as `tolmstat metrics`, followed by the exporter's own
// families:
//   tolm_up 1 when the daemon answered every call, else 0 (the scrape still
//     gives what it has);
//   tolm_scrape_duration_seconds, the time the scrape took;
//   tolm_snapshot_timestamp_seconds{record} and tolm_snapshot_age_seconds{record},
//     of each record's latest snapshot;
//   tolm_source_success{record,source}, 1 when that record's fetch status
//     word `source` is 0 (success);
//   tolm_record_info{record,version} 1.
class Scrape {
  public:
    // `connect` opens the daemon's source (and throws SourceError when it
    // cannot be reached); `now` is the wall clock in seconds, as a double.
    using Connect = std::function<std::unique_ptr<SnapshotSource>()>;
    using Clock = std::function<double()>;
    Scrape(Connect connect, Clock now) : _connect(std::move(connect)), _now(std::move(now)) {}

    // The whole exposition text of one scrape. Scrapes may run at once:
    // each takes a connection of its own, kept for the next scrapes when it
    // served well. A kept connection that fails within half a second (the
    // daemon closed it while idle, or restarted) is replaced by a new one
    // once within the scrape; one that timed out is not.
    std::string text();

  private:
    std::unique_ptr<SnapshotSource> take(bool* kept);
    void giveBack(std::unique_ptr<SnapshotSource> source);

    Connect _connect;
    Clock _now;
    MetricNames _names;  // worked out once, for every scrape
    std::mutex _lock;
    std::vector<std::unique_ptr<SnapshotSource>> _idle;  // at most kKept
};
