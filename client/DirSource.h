#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <string>

#include "SnapshotSource.h"

// A dump tree as the daemon's signal dump writes it: DIR/tolmstats/STAMP/
// with one file per record ("nblade", "dblade", "lp", "fcd", "mgmtproc").
// A snapshot's time is its records' "created" stamp, read from the files;
// the directory's name only finds them. Directories whose name is no stamp
// are ignored; a record file that does not decode whole (or holds a record
// of another type) is skipped with one warning line on `warnings`. Record
// files in the XML form (NAME.xml) are not read: a snapshot that has only
// those is skipped with a warning.
class DirSource : public SnapshotSource {
  public:
    // `dumpDir`: the directory given to the daemon's --dumpdir. Throws
    // SourceError when DIR/tolmstats cannot be listed.
    explicit DirSource(const std::string& dumpDir, FILE* warnings = stderr);

    std::vector<uint32_t> timestamps() override;
    std::unique_ptr<HistoryRecord> recordAt(RecordType type, uint32_t stamp) override;
    std::string where() const override { return _tree; }

  private:
    // Lists the tree once: each snapshot's time from the first of its
    // records that reads.
    void scan();
    // The record of `type` in directory `dir`; null (with a warning unless
    // the file is simply absent) when it does not read.
    std::unique_ptr<HistoryRecord> read(const std::string& dir, RecordType type,
                                        bool quietIfAbsent);

    std::string _tree;
    FILE* _warnings;
    bool _scanned = false;
    std::map<uint32_t, std::string> _dirs;  // snapshot time -> directory path
    std::set<std::string> _warned;          // each damaged file is named once
};
