#include "SnapshotSource.h"

std::unique_ptr<HistoryRecord> SnapshotSource::earliest(RecordType type, uint32_t* stamp) {
    for (uint32_t t : timestamps())
        if (auto rec = recordAt(type, t)) {
            *stamp = t;
            return rec;
        }
    return nullptr;
}

std::unique_ptr<HistoryRecord> SnapshotSource::latest(RecordType type, uint32_t* stamp) {
    std::vector<uint32_t> ts = timestamps();
    for (size_t i = ts.size(); i-- > 0;)
        if (auto rec = recordAt(type, ts[i])) {
            *stamp = ts[i];
            return rec;
        }
    return nullptr;
}

std::vector<HistoryEntry> SnapshotSource::window(RecordType type, uint32_t from, uint32_t to) {
    std::vector<HistoryEntry> out;
    bool gap = false;
    for (uint32_t t : timestamps()) {
        if (t < from || t > to)
            continue;
        if (auto rec = recordAt(type, t)) {
            out.push_back(HistoryEntry{t, std::move(rec), gap && !out.empty()});
            gap = false;
        } else {
            gap = true;
        }
    }
    return out;
}

std::vector<HistoryEntry> SnapshotSource::newest(RecordType type, size_t count) {
    std::vector<uint32_t> ts = timestamps();
    std::vector<HistoryEntry> out;
    for (size_t i = ts.size(); i-- > 0 && out.size() < count;)
        if (auto rec = recordAt(type, ts[i]))
            out.insert(out.begin(), HistoryEntry{ts[i], std::move(rec)});
    return out;
}
