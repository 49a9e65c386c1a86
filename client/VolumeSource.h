#pragma once

#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "TolmDir.h"
#include "TolmFile.h"
#include "TolmVldb.h"
#include "TreeSource.h"

// One host directory (/NODE) of the statistics volume, as persistence writes
// it: /NODE/STAMP/RECORD (see TreeSource for how it is read), through the
// cluster file system client. By default the VFS is found through the
// location services on localhost; with a D-blade given, the client talks to
// it directly (stand-alone mode) and the VFS id must be given too. Unlike
// the daemon, this reader turns the client's VFS cache on. Not thread-safe;
// one per process (the client's Rf endpoint is the process's).
class VolumeSource : public TreeSource {
  public:
    struct Where {
        std::string node;                     // the host directory's name
        std::string vfsName = "tolm.stats_";  // location-service mode
        std::string dblade;                   // "HOST:PORT": stand-alone mode
        uint32_t vfsId = 0;                   // with `dblade`
    };
    // Connects and finds /NODE (none for an empty name); throws SourceError naming what failed (the
    // client library's message and status).
    explicit VolumeSource(const Where& where, FILE* warnings = stderr);
    ~VolumeSource() override;

    std::string where() const override { return _where; }
    // The names in the volume's root: the host directories, and whatever
    // else is there.
    std::vector<std::string> hostDirectories();
    // Reads host directory `node` from now on; throws SourceError when it
    // cannot be found.
    void setNode(const std::string& node);

  protected:
    std::vector<std::string> listTop() override;
    int openFile(const std::string& dir, const std::string& name, std::string* why) override;
    std::string pathOf(const std::string& dir, const std::string& name) const override;
    bool opensAhead() const override { return true; }

  private:
    [[noreturn]] void fail(const std::string& what, uint32_t status);
    // The fid of `name` in directory `dir`; 0 or the client's status.
    uint32_t lookup(const tolm_fid_t& dir, const std::string& name, tolm_fid_t* fid);
    // The names in directory `dir`, with their fids.
    std::map<std::string, tolm_fid_t> list(const tolm_fid_t& dir, const std::string& shown);

    std::string _where;
    std::string _base;  // where the volume is: the VFS name or the D-blade
    std::string _node;
    tolm_fid_t _root = {};
    TolmVldb _vldb;
    std::unique_ptr<TolmFile> _file;
    std::unique_ptr<TolmDir> _dir;
    tolm_fid_t _host = {};
    std::map<std::string, tolm_fid_t> _stampDirs;  // from listTop
};
