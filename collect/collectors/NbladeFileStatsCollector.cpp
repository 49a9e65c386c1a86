#include "NbladeFileStatsCollector.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "GrowingRead.h"
#include "SLogger.h"

NbladeFileStatsCollector::NbladeFileStatsCollector(const std::string& filename, int32_t size)
    : _filename(filename), _buf(new char[size]), _size(size), _initialSize(size) {
    _values.reserve(4);
}

NbladeFileStatsCollector::~NbladeFileStatsCollector() {
    delete[] _buf;
    for (auto& entry : _map) {
        delete entry.second;
    }
    _map.clear();
}

void NbladeFileStatsCollector::addLine(const char* name, LineDesc* desc) {
    // A replaced descriptor must not be found by place any more.
    _placed.clear();
    auto it = _map.find(std::string_view(name));
    if (it != _map.end()) {
        delete it->second;
        it->second = desc;
    } else {
        _map.emplace(name, desc);
    }
}

LineDesc* NbladeFileStatsCollector::lineAt(size_t place, std::string_view name) {
    if (place < _placed.size() && _placed[place].name == name)
        return _placed[place].desc;
    LineDesc* desc = getLineDesc(name);
    if (place >= _placed.size())
        _placed.resize(place + 1);
    _placed[place].name.assign(name.data(), name.size());
    _placed[place].desc = desc;
    return desc;
}

LineDesc* NbladeFileStatsCollector::getLineDesc(std::string_view name) const {
    auto it = _map.find(name);
    return it == _map.end() ? nullptr : it->second;
}

std::vector<std::string> NbladeFileStatsCollector::lineNames() const {
    std::vector<std::string> names;
    names.reserve(_map.size());
    for (const auto& entry : _map) names.push_back(entry.first);
    return names;
}

int32_t NbladeFileStatsCollector::readFile() {
    bool cut = false;
    int32_t n = readGrowing(_filename.c_str(), _buf, _size, _initialSize, &cut);
    if (cut != _cut) {
        if (cut)
            SLogger::err("statistics file %s is larger than %d bytes: only its start is read",
                         _filename.c_str(), kGrowingReadCeiling);
        else
            SLogger::notice("statistics file %s is read whole again", _filename.c_str());
        _cut = cut;
    }
    return n;
}

void NbladeFileStatsCollector::_populate(void* base) {
    int32_t n = readFile();
    if (n > 0) {
        process(n, base);
    }
}

static inline bool isDelimiter(char c) {
    return c == ' ' || c == '\t' || c == '\n';
}

void NbladeFileStatsCollector::process(int32_t length, void* base) {
    char* p = _buf;
    char* end = _buf + length;
    const char* nameStart = nullptr;
    const char* nameEnd = nullptr;
    bool discarding = false;
    size_t place = 0;
    _values.clear();

    while (p < end) {
        char c = *p;
        if (c == '\n') {
            if (!discarding && nameStart != nullptr && !_values.empty()) {
                LineDesc* desc = lineAt(
                    place++, std::string_view(nameStart, static_cast<size_t>(nameEnd - nameStart)));
                if (desc != nullptr) {
                    for (size_t col = 0; col < _values.size(); col++) {
                        desc->update(base, static_cast<int>(col), _values[col]);
                    }
                }
            }
            nameStart = nameEnd = nullptr;
            discarding = false;
            _values.clear();
            p++;
            continue;
        }
        if (discarding || c == ' ' || c == '\t') {
            p++;
            continue;
        }
        char* tokenStart = p;
        while (p < end && !isDelimiter(*p)) {
            p++;
        }
        if (p == end) {
            // A token still being read when the data ends belongs to an
            // unterminated line, which is never applied.
            break;
        }
        if (nameStart == nullptr) {
            nameStart = tokenStart;
            nameEnd = p;
            continue;
        }
        // The delimiter after the token is replaced by a NUL for the
        // conversion and put back afterwards.
        char saved = *p;
        *p = '\0';
        char* convEnd = nullptr;
        unsigned long long value = std::strtoull(tokenStart, &convEnd, 0);
        *p = saved;
        if (convEnd == p) {
            _values.push_back(value);
        } else if (_values.empty()) {
            nameEnd = p;
        } else {
            SLogger::debug("discarding tokens from file %s", _filename.c_str());
            discarding = true;
            _values.clear();
        }
    }
}
