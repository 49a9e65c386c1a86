#pragma once

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "SnapshotSource.h"

// A history kept as a tree of snapshot directories, one per snapshot and
// named by its stamp in local time (20261207-231957), each with one file
// per record in the binary form ("nblade", "dblade", "lp", "fcd",
// "mgmtproc") or the XML form (the same names with ".xml", zero statistics
// left out or not), as the signal dump writes under DIR/tolmstats and
// persistence under /HOST of the statistics volume. A snapshot's time is its records' "created"
// stamp, read from the files; the directory's name only finds them. Entries whose name is no stamp
// are ignored; a record file that does not decode whole (or holds a record of another type) is
// skipped with one warning line on `warnings`. Subclasses say how to list and open.
class TreeSource : public SnapshotSource {
  public:
    std::vector<uint32_t> timestamps() override;
    std::unique_ptr<HistoryRecord> recordAt(RecordType type, uint32_t stamp) override;
    // Before the tree is scanned, reads only the record files of `type`,
    // each giving its snapshot's time (opened a few ahead by a second thread
    // while they are decoded, where opensAhead says so); a snapshot whose record of `type` does not
    // read is left out as a snapshot without it is.
    std::vector<HistoryEntry> window(RecordType type, uint32_t from, uint32_t to) override;
    // Before the tree is scanned, reads the record files of `type` from the
    // newest snapshot directory back, until `count` of them read.
    std::vector<HistoryEntry> newest(RecordType type, size_t count) override;

    // One damaged entry of the tree: its path and every reason, "; " apart.
    struct Problem {
        std::string path;
        std::string why;
    };
    // Checks the whole tree as tolmvol check does: every entry's name is a
    // stamp, and every snapshot directory holds all five records, each of
    // which decodes whole (binary) or parses (XML) and was created within
    // `period` seconds of the directory's name (0: the median step between
    // the names but at least 10 s, unchecked with fewer than two). Warns
    // about nothing.
    std::vector<Problem> check(uint32_t period);

  protected:
    explicit TreeSource(FILE* warnings) : _warnings(warnings) {}

    // The names in the tree's top directory. Throws SourceError.
    virtual std::vector<std::string> listTop() = 0;
    // A descriptor positioned at the start of file `name` of snapshot
    // directory `dir`; -1 with `why` empty when there is no such file, or
    // with the reason when it cannot be read.
    virtual int openFile(const std::string& dir, const std::string& name, std::string* why) = 0;
    // Whether a window's files are opened by a second thread ahead of their
    // decoding: worth it where opening waits on the network.
    virtual bool opensAhead() const { return false; }
    // The path of a snapshot directory or file, for messages.
    virtual std::string pathOf(const std::string& dir, const std::string& name) const = 0;

    // Forgets what was read, for a tree that now lists anew.
    void forget();

  private:
    // The names of the top directory that are stamps, sorted.
    std::vector<std::string> snapshotDirs();
    void scan();
    std::unique_ptr<HistoryRecord> read(const std::string& dir, RecordType type);
    // The same, giving the reason (empty when there is no such file) instead
    // of a warning.
    std::unique_ptr<HistoryRecord> read(const std::string& dir, RecordType type, std::string* why,
                                        std::string* name);
    // A record file opened: the binary one when there is one, else the XML
    // one; `fd` -1 with `why` empty when there is neither.
    struct Opened {
        std::string dir, name, why;
        int fd = -1;
        bool xml = false;
    };
    Opened openRecord(const std::string& dir, RecordType type);
    // The record in an opened file, which it closes; null with `why` set
    // when it does not decode (or with `why` empty when there was no file).
    std::unique_ptr<HistoryRecord> decode(Opened& o, RecordType type);
    // The record in its binary file, already open on `fd`, or in its XML one.
    std::unique_ptr<HistoryRecord> decodeBinary(int fd, RecordType type);
    std::unique_ptr<HistoryRecord> decodeXml(int fd, RecordType type, const std::string& shown);
    void warn(const std::string& path, const std::string& why);

    FILE* _warnings;
    bool _scanned = false;
    std::map<uint32_t, std::string> _dirs;  // snapshot time -> directory name
    std::set<std::string> _warned;          // each damaged file is named once
};
