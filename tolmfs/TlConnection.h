#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TlRefCount.h"
#include "TolmFsTypes.h"
#include "TolmVldb.h"

class TolmFile;
class TolmDir;
class TlDirectory;
class TlFile;
class TlDirEntArray;

// A connection to the cluster file system for the persistence code: one
// location service client and one file and one directory operation object.
// Every operation runs its remote call up to MAX_RETRIES times while it fails
// with an Rf (transport) status; any other status ends the attempts. Counted
// like the objects made through it, which each hold a reference on it.
class TlConnection {
  public:
    static constexpr int MAX_RETRIES = 4;
    static constexpr int32_t TOLMOP_TIMEOUT = TolmVldb::kRfDefaultCallTimeoutSecs;
    static constexpr uint16_t STANDALONE_PORT = 7700;

    // Location services on this host.
    TlConnection();
    TlConnection(const char* vldbHost, const char* dldbHost);
    // One D-blade at host:7700, without location services (this host when null).
    explicit TlConnection(const char* host);

    // 0 when the connection could be set up, else the status of the failure
    // (every operation then fails with it).
    uint32_t setupStatus() const { return _setupStatus; }

    void addRef();
    // Fatal when the count is already 0; the connection goes with the last one.
    void release();

    uint32_t getRoot(uint32_t vfsId, TlDirectory** out);
    uint32_t getDirectory(uint32_t vfsId, TlDirectory* parent, const char* name, bool create,
                          TlDirectory** out);
    uint32_t getFile(TlDirectory* parent, const char* name, bool create, TlFile** out);
    uint32_t enumDir(const tolm_fid_t& fid, TlDirEntArray** out, tolm_attr_t* attr);
    uint32_t readFile(const tolm_fid_t& fid, void* buffer, uint64_t offset, uint32_t length,
                      uint32_t* bytesRead, tolm_attr_t* attr);
    uint32_t writeFile(const tolm_fid_t& fid, const void* buffer, uint64_t offset, uint32_t length,
                       tolm_attr_t* attr);
    uint32_t stat(const tolm_fid_t& fid, tolm_attr_t* attr);
    uint32_t truncate(const tolm_fid_t& fid, uint64_t length);
    uint32_t remove(const tolm_fid_t& parent, const char* name, tolm_attr_t* attr);
    uint32_t removeDir(const tolm_fid_t& parent, const char* name, tolm_attr_t* attr);
    // Subdirectories deeper than this below the one removed are refused.
    static constexpr size_t kMaxRemoveDepth = 64;

    // Empties the directory (in each directory the files first, then its
    // subdirectories, bottom-up, walked without recursion) and removes it. A
    // subdirectory whose fid was entered before in this walk (a tree that
    // lists itself), or one deeper than kMaxRemoveDepth, is not entered: the
    // rest is removed, `refused` (when given) names the first such directory
    // by its path from `name`, and the result is TOLM_ERR_INVALID_DATA.
    // Otherwise the status of removing the emptied directory.
    uint32_t removeDirRecursive(const tolm_fid_t& parent, const char* name, tolm_attr_t* attr,
                                std::string* refused = nullptr);

    // Rf calls made so far (benchmarks count them).
    uint32_t callsMade() const;

  private:
    ~TlConnection();
    void setUp(const char* vldbHost, const char* dldbHost, uint32_t unused);
    void initialize();
    void setTimeouts();
    uint32_t getObject(uint32_t vfsId, TlDirectory* parent, const char* name, bool create,
                       bool directory, tolm_fid_t* fid, tolm_attr_t* attr, bool* created);
    // One directory of a recursive removal: its files removed, its
    // subdirectories left to walk.
    struct RemoveFrame {
        tolm_fid_t fid;
        std::string name;
        std::string path;
        std::vector<std::pair<std::string, tolm_fid_t>> subdirs;
        size_t next = 0;
    };
    RemoveFrame emptyFiles(const tolm_fid_t& dir, const std::string& name, const std::string& path);

    TolmVldb* _pvldb;
    TolmFile* _ptolmFile;
    TolmDir* _ptolmDir;
    TlRefCount _refs;
    uint32_t _setupStatus = 0;
};
