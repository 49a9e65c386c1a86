#include "DirSource.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

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

bool exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

// Read first to learn a snapshot's time: the smallest records.
const RecordType kProbeOrder[] = {RecordType::MgmtProc, RecordType::Nblade, RecordType::Fcd,
                                  RecordType::Dblade, RecordType::Lp};

}  // namespace

DirSource::DirSource(const std::string& dumpDir, FILE* warnings)
    : _tree(dumpDir + "/tolmstats"), _warnings(warnings) {
    DIR* d = opendir(_tree.c_str());
    if (!d)
        throw SourceError("tolmstat: cannot list " + _tree + ": " + strerror(errno));
    closedir(d);
}

std::unique_ptr<HistoryRecord> DirSource::read(const std::string& dir, RecordType type,
                                               bool quietIfAbsent) {
    std::string path = dir + "/" + recordTypeName(type);
    if (quietIfAbsent && !exists(path))
        return nullptr;
    try {
        FileDeserializer d(path, 65536);
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
        std::string why = e.msg;
        while (!why.empty() && why.back() == '\n')
            why.pop_back();
        if (e.code != 0)
            why += std::string(": ") + strerror(static_cast<int>(e.code));
        if (_warned.insert(path).second)
            fprintf(_warnings, "tolmstat: skipping %s: %s\n", path.c_str(), why.c_str());
        return nullptr;
    }
}

void DirSource::scan() {
    if (_scanned)
        return;
    _scanned = true;
    DIR* d = opendir(_tree.c_str());
    if (!d)
        throw SourceError("tolmstat: cannot list " + _tree + ": " + strerror(errno));
    std::vector<std::string> names;
    while (dirent* e = readdir(d)) {
        uint32_t named;
        if (parseStampName(e->d_name, &named))
            names.push_back(e->d_name);
    }
    closedir(d);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        std::string dir = _tree + "/" + name;
        std::unique_ptr<HistoryRecord> probe;
        for (RecordType t : kProbeOrder)
            if ((probe = read(dir, t, true)))
                break;
        if (!probe) {
            bool xml = false;
            for (RecordType t : kRecordTypes)
                xml = xml || exists(dir + "/" + recordTypeName(t) + ".xml");
            fprintf(
                _warnings, "tolmstat: skipping %s: %s\n", dir.c_str(),
                xml ? "its records are XML files, which are not read" : "no record in it reads");
            continue;
        }
        _dirs[static_cast<uint32_t>(probe->created())] = dir;
    }
}

std::vector<uint32_t> DirSource::timestamps() {
    scan();
    std::vector<uint32_t> out;
    for (const auto& d : _dirs)
        out.push_back(d.first);
    return out;
}

std::unique_ptr<HistoryRecord> DirSource::recordAt(RecordType type, uint32_t stamp) {
    scan();
    auto it = _dirs.find(stamp);
    if (it == _dirs.end())
        return nullptr;
    return read(it->second, type, true);
}
