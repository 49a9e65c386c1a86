#pragma once

#include <cstddef>
#include <string>

// A directory of the signal dump tree, held open by its descriptor. Its
// subdirectories and files are made and opened relative to that descriptor
// and never through a symbolic link, so that whoever can write into the dump
// directory cannot make a dump (run as root) write anywhere else.
//
// Every refusal and failure is logged once, with the path and the system's
// reason; the caller only learns that it failed. Used by the signal thread
// alone.
class DumpDir {
  public:
    // The configured dump directory itself, as the operator named it (a link
    // there is the operator's choice and is followed).
    static DumpDir open(const std::string& path);
    // A subdirectory, made when missing. Refused when it is a symbolic link,
    // not a directory, or not owned by this process's effective user.
    DumpDir sub(const char* name) const;

    DumpDir(DumpDir&& other) noexcept;
    DumpDir& operator=(DumpDir&& other) noexcept;
    DumpDir(const DumpDir&) = delete;
    DumpDir& operator=(const DumpDir&) = delete;
    ~DumpDir();

    bool valid() const { return _fd >= 0; }
    const std::string& path() const { return _path; }

    // A new file of this directory for writing: whatever had the name (a file,
    // a link) is removed first and the file is created anew, exclusively and
    // without following links, so no existing file is ever written into.
    // -1 on failure (logged).
    int create(const char* name) const;
    // Closes a file from `create`; `error` (an errno, 0 for none) is what
    // went wrong while writing it. A file that failed, or whose close fails,
    // is removed with one log line naming it. True when the file is whole.
    bool finish(const char* name, int fd, int error) const;
    // `create`, every byte, `finish`.
    bool writeFile(const char* name, const void* data, size_t size) const;

  private:
    DumpDir(int fd, std::string path) : _fd(fd), _path(std::move(path)) {}

    int _fd = -1;
    std::string _path;
};
