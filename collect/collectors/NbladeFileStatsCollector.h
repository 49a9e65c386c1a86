#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "LineDesc.h"
#include "NbladeStats.h"

// Where the N-blade's kernel side publishes its statistics files.
constexpr const char* NBLADE_STATS_DIR = "/proc/tolm/stream.d/";

// Base of the collectors that read one N-blade statistics file: lines of a
// name and one or more numbers, each line applied through the descriptor
// registered for its name. The read buffer persists between collections; it
// grows with the file up to kGrowingReadCeiling and shrinks back when the file
// is small again.
class NbladeFileStatsCollector {
  public:
    NbladeFileStatsCollector(const std::string& filename, int32_t size);
    virtual ~NbladeFileStatsCollector();
    NbladeFileStatsCollector(const NbladeFileStatsCollector&) = delete;
    NbladeFileStatsCollector& operator=(const NbladeFileStatsCollector&) = delete;

    // Fills this collector's part of `record`.
    virtual void populate(nblade_data_t* record) = 0;

    // Reads the whole file into the buffer (at most kGrowingReadCeiling
    // bytes; one error is logged when a file goes beyond it, one notice when
    // it fits again); returns the byte count, or a negative value when the
    // file cannot be opened or read.
    int32_t readFile();
    // Reads the file and applies its lines to the sub-record at `base`.
    void _populate(void* base);
    // Parses the first `length` bytes of the buffer into the sub-record at `base`.
    void process(int32_t length, void* base);
    // The descriptor registered under exactly `name`, or null.
    LineDesc* getLineDesc(std::string_view name) const;

    const std::string& filename() const { return _filename; }
    int32_t capacity() const { return _size; }
    const char* buffer() const { return _buf; }
    size_t lineCount() const { return _map.size(); }
    // The registered line names, in name order.
    std::vector<std::string> lineNames() const;

  protected:
    // Registers `desc` (owned from now on) for `name`; a name registered again
    // keeps the later descriptor.
    void addLine(const char* name, LineDesc* desc);

    std::string _filename;
    std::map<std::string, LineDesc*, std::less<>> _map;
    char* _buf;
    int32_t _size;

  private:
    int32_t _initialSize;
    bool _cut = false;  // the last read stopped at the ceiling
    // Value columns of the line being parsed; kept so that its storage is reused.
    std::vector<unsigned long long> _values;
    // The descriptor of each applied line by its place in the file: the files
    // keep their line order, so a line is found by one comparison of its name
    // with the name seen there last time, and by name only when they differ.
    struct PlacedLine {
        std::string name;
        LineDesc* desc;
    };
    std::vector<PlacedLine> _placed;
    LineDesc* lineAt(size_t place, std::string_view name);
};
