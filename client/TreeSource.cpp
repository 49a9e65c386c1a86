#include "TreeSource.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "FileDeserializer.h"
#include "RecordTypes.h"
#include "SerializationException.h"
#include "StampName.h"

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

std::unique_ptr<HistoryRecord> TreeSource::read(const std::string& dir, RecordType type) {
    std::string why;
    int fd = openFile(dir, recordTypeName(type), &why);
    if (fd < 0) {
        if (!why.empty())
            warn(pathOf(dir, recordTypeName(type)), why);
        return nullptr;
    }
    try {
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
    } catch (SerializationException& e) {
        why = e.msg;
        while (!why.empty() && why.back() == '\n')
            why.pop_back();
        if (e.code != 0)
            why += std::string(": ") + strerror(static_cast<int>(e.code));
        warn(pathOf(dir, recordTypeName(type)), why);
        return nullptr;
    }
}

void TreeSource::scan() {
    if (_scanned)
        return;
    _scanned = true;
    std::vector<std::string> names;
    for (const std::string& name : listTop()) {
        uint32_t named;
        if (parseStampName(name, &named))
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    for (const std::string& dir : names) {
        std::unique_ptr<HistoryRecord> probe;
        for (RecordType t : kProbeOrder)
            if ((probe = read(dir, t)))
                break;
        if (!probe) {
            bool xml = false;
            for (RecordType t : kRecordTypes) {
                std::string why;
                int fd = openFile(dir, std::string(recordTypeName(t)) + ".xml", &why);
                if (fd >= 0) {
                    xml = true;
                    close(fd);
                }
            }
            warn(pathOf(dir, ""),
                 xml ? "its records are XML files, which are not read" : "no record in it reads");
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
