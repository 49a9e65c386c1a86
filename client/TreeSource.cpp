#include "TreeSource.h"

#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "FileDeserializer.h"
#include "RecordTypes.h"
#include "SerializationException.h"
#include "StampName.h"
#include "XmlDocument.h"

namespace {

// The type tag each record's binary form opens with.
unsigned int tagOf(RecordType type) {
    switch (type) {
        case RecordType::Nblade:
            return SER_NBLADE;
        case RecordType::Dblade:
            return SER_DBLADE;
        case RecordType::Lp:
            return SER_LP;
        case RecordType::Fcd:
            return SER_FCD;
        case RecordType::MgmtProc:
            break;
    }
    return SER_MGMT;
}

// Read first to learn a snapshot's time: the smallest records.
const RecordType kProbeOrder[] = {RecordType::MgmtProc, RecordType::Nblade, RecordType::Fcd,
                                  RecordType::Dblade, RecordType::Lp};

}  // namespace

void TreeSource::warn(const std::string& path, const std::string& why) {
    if (_warned.insert(path).second)
        fprintf(_warnings, "tolmstat: skipping %s: %s\n", path.c_str(), why.c_str());
}

std::unique_ptr<HistoryRecord> TreeSource::decodeBinary(int fd, RecordType type) {
    FileDeserializer d(fd, 65536);
    unsigned int tag = d.read32();
    if (tag != tagOf(type))
        throw SerializationException("holds a record of type " + std::to_string(tag), 0);
    d.reset();
    std::unique_ptr<HistoryRecord> rec = HistoryRecord::make(type);
    rec->deserialize(d);
    unsigned char extra;
    if (d.readBuffer(&extra, 1) != 0)
        throw SerializationException("trailing bytes after the record", 0);
    return rec;
}

std::unique_ptr<HistoryRecord> TreeSource::decodeXml(int fd, RecordType type,
                                                     const std::string& shown) {
    struct Closer {
        int fd;
        ~Closer() { close(fd); }
    } closer{fd};
    XmlDocument doc = XmlDocument::parse(fd, shown);
    std::unique_ptr<HistoryRecord> rec = HistoryRecord::make(type);
    rec->fromXml(doc.root());
    return rec;
}

// The binary file when there is one, else the XML one.
TreeSource::Opened TreeSource::openRecord(const std::string& dir, RecordType type) {
    Opened o;
    o.dir = dir;
    o.name = recordTypeName(type);
    o.fd = openFile(dir, o.name, &o.why);
    if (o.fd < 0 && o.why.empty()) {
        o.name += ".xml";
        o.fd = openFile(dir, o.name, &o.why);
        o.xml = true;
    }
    return o;
}

std::unique_ptr<HistoryRecord> TreeSource::decode(Opened& o, RecordType type) {
    if (o.fd < 0)
        return nullptr;
    int fd = o.fd;
    o.fd = -1;
    try {
        return o.xml ? decodeXml(fd, type, pathOf(o.dir, o.name)) : decodeBinary(fd, type);
    } catch (SerializationException& e) {
        o.why = e.msg;
        while (!o.why.empty() && o.why.back() == '\n')
            o.why.pop_back();
        if (e.code != 0)
            o.why += std::string(": ") + strerror(static_cast<int>(e.code));
        return nullptr;
    }
}

std::unique_ptr<HistoryRecord> TreeSource::read(const std::string& dir, RecordType type,
                                                std::string* why, std::string* name) {
    Opened o = openRecord(dir, type);
    std::unique_ptr<HistoryRecord> rec = decode(o, type);
    *why = o.why;
    *name = o.name;
    return rec;
}

std::unique_ptr<HistoryRecord> TreeSource::read(const std::string& dir, RecordType type) {
    std::string why, name;
    std::unique_ptr<HistoryRecord> rec = read(dir, type, &why, &name);
    if (!rec && !why.empty())
        warn(pathOf(dir, name), why);
    return rec;
}

void TreeSource::forget() {
    _scanned = false;
    _dirs.clear();
    _warned.clear();
}

std::vector<TreeSource::Problem> TreeSource::check(uint32_t period) {
    std::vector<Problem> problems;
    std::vector<std::pair<uint32_t, std::string>> dirs;
    for (const std::string& name : listTop()) {
        if (name == "." || name == "..")
            continue;
        uint32_t named;
        if (parseStampName(name, &named))
            dirs.emplace_back(named, name);
        else
            problems.push_back(Problem{pathOf(name, ""), "not a snapshot directory's name"});
    }
    std::sort(dirs.begin(), dirs.end());
    if (period == 0 && dirs.size() >= 2) {
        std::vector<uint32_t> steps;
        for (size_t i = 1; i < dirs.size(); i++)
            steps.push_back(dirs[i].first - dirs[i - 1].first);
        std::sort(steps.begin(), steps.end());
        // A collection takes a while: never less than 10 s.
        period = std::max<uint32_t>(steps[steps.size() / 2], 10);
    }
    for (const auto& [named, dir] : dirs) {
        std::string reasons;
        auto add = [&](const std::string& why) { reasons += (reasons.empty() ? "" : "; ") + why; };
        for (RecordType t : kRecordTypes) {
            std::string why, file;
            std::unique_ptr<HistoryRecord> rec = read(dir, t, &why, &file);
            if (!rec) {
                add(why.empty() ? std::string("no ") + recordTypeName(t) + " record"
                                : file + ": " + why);
                continue;
            }
            int64_t off = static_cast<int64_t>(static_cast<uint32_t>(rec->created())) - named;
            if (period > 0 && (off < -static_cast<int64_t>(period) || off > period))
                add(file + ": created " + std::to_string(off) + " s from the directory's name");
        }
        if (!reasons.empty())
            problems.push_back(Problem{pathOf(dir, ""), reasons});
    }
    return problems;
}

std::vector<std::string> TreeSource::snapshotDirs() {
    std::vector<std::string> names;
    for (const std::string& name : listTop()) {
        uint32_t named;
        if (parseStampName(name, &named))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

void TreeSource::scan() {
    if (_scanned)
        return;
    _scanned = true;
    for (const std::string& dir : snapshotDirs()) {
        std::unique_ptr<HistoryRecord> probe;
        for (RecordType t : kProbeOrder)
            if ((probe = read(dir, t)))
                break;
        if (!probe) {
            warn(pathOf(dir, ""), "no record in it reads");
            continue;
        }
        _dirs[static_cast<uint32_t>(probe->created())] = dir;
    }
}

std::vector<uint32_t> TreeSource::timestamps() {
    scan();
    std::vector<uint32_t> out;
    for (const auto& d : _dirs)
        out.push_back(d.first);
    return out;
}

std::unique_ptr<HistoryRecord> TreeSource::recordAt(RecordType type, uint32_t stamp) {
    scan();
    auto it = _dirs.find(stamp);
    if (it == _dirs.end())
        return nullptr;
    return read(it->second, type);
}

std::vector<HistoryEntry> TreeSource::newest(RecordType type, size_t count) {
    if (_scanned)
        return SnapshotSource::newest(type, count);
    std::vector<std::string> dirs = snapshotDirs();
    std::vector<HistoryEntry> out;
    for (size_t i = dirs.size(); i-- > 0 && out.size() < count;)
        if (std::unique_ptr<HistoryRecord> rec = read(dirs[i], type)) {
            uint32_t t = static_cast<uint32_t>(rec->created());
            out.insert(out.begin(), HistoryEntry{t, std::move(rec)});
        }
    return out;
}

std::vector<HistoryEntry> TreeSource::window(RecordType type, uint32_t from, uint32_t to) {
    if (_scanned)
        return SnapshotSource::window(type, from, to);
    // Each snapshot's record of the type gives the snapshot's time itself:
    // one file read per snapshot, not two. A second thread opens (and for
    // the volume, fetches) the files ahead of the one that decodes them, a
    // few at most; only it calls openFile meanwhile.
    // A snapshot without a readable record is dated only by its place among
    // the directories (their names sort as their times do): it marks the
    // next one found in the window as coming after a gap.
    std::vector<std::string> dirs = snapshotDirs();
    std::map<uint32_t, HistoryEntry> found;
    bool gap = false;
    auto take = [&](Opened& o) {
        std::unique_ptr<HistoryRecord> rec = decode(o, type);
        if (!rec) {
            if (!o.why.empty())
                warn(pathOf(o.dir, o.name), o.why);
            gap = true;
            return;
        }
        uint32_t t = static_cast<uint32_t>(rec->created());
        if (t >= from && t <= to) {
            bool after = gap && !found.empty();
            found[t] = HistoryEntry{t, std::move(rec), after};
        }
        gap = false;
    };
    auto entries = [&] {
        std::vector<HistoryEntry> out;
        for (auto& [t, e] : found)
            out.push_back(std::move(e));
        return out;
    };
    if (!opensAhead()) {
        for (const std::string& dir : dirs) {
            Opened o = openRecord(dir, type);
            take(o);
        }
        return entries();
    }
    constexpr size_t kAhead = 8;
    std::mutex lock;
    std::condition_variable changed;
    std::deque<Opened> ready;
    bool done = false, stop = false;
    std::exception_ptr failure;
    std::thread opener([&] {
        try {
            for (const std::string& dir : dirs) {
                Opened o = openRecord(dir, type);
                std::unique_lock<std::mutex> held(lock);
                changed.wait(held, [&] { return stop || ready.size() < kAhead; });
                if (stop) {
                    if (o.fd >= 0)
                        close(o.fd);
                    break;
                }
                ready.push_back(std::move(o));
                changed.notify_all();
            }
        } catch (...) {
            std::lock_guard<std::mutex> held(lock);
            failure = std::current_exception();
        }
        std::lock_guard<std::mutex> held(lock);
        done = true;
        changed.notify_all();
    });
    // Whatever happens here, the opener ends and what it opened is closed.
    struct Joiner {
        std::mutex& lock;
        std::condition_variable& changed;
        std::deque<Opened>& ready;
        bool& stop;
        std::thread& opener;
        ~Joiner() {
            {
                std::lock_guard<std::mutex> held(lock);
                stop = true;
                changed.notify_all();
            }
            opener.join();
            for (Opened& o : ready)
                if (o.fd >= 0)
                    close(o.fd);
        }
    } joiner{lock, changed, ready, stop, opener};

    for (;;) {
        Opened o;
        {
            std::unique_lock<std::mutex> held(lock);
            changed.wait(held, [&] { return done || !ready.empty(); });
            if (ready.empty()) {
                if (failure)
                    std::rethrow_exception(failure);
                break;
            }
            o = std::move(ready.front());
            ready.pop_front();
            changed.notify_all();
        }
        take(o);
    }
    return entries();
}
