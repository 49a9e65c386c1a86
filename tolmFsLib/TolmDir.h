#pragma once

#include <pthread.h>

#include <cstdint>

#include "TolmObj.h"

// Called for each name a directory read delivers: (argument, name, inode,
// uniquifier, flags); 0 goes on, anything else stops the read with 0x100001a.
typedef int (*TolmDirCallback)(void* arg, const char* name, uint32_t inode, uint32_t uniquifier,
                               uint32_t flags);

// Directories: make, read and remove (and the object operations of TolmObj).
class TolmDir : public TolmObj {
  public:
    explicit TolmDir(TolmVldb* vldb);
    ~TolmDir() override;

    uint32_t mkDir(const tolm_fid_t* dir, const char* name, const tolm_set_attr_t* set,
                   tolm_fid_t* fid, tolm_attr_t* attr, uint32_t flag);
    // Removing a directory may take long: the call waits up to 4000 seconds
    // (unless the Rf time-outs are the user's).
    uint32_t rmDir(const tolm_fid_t* dir, const char* name, tolm_attr_t* attr);
    // Reads the directory from `cookie` (0: the start), handing every name to
    // the callback in the order of the segments and their entries; `count`
    // is the number of names delivered. Ends with 0x1000006 at the end of the
    // directory; 0x1000019 for a segment that is not a name segment,
    // 0x1000016 for one that breaks the layout (TolmDirSegment.h).
    uint32_t readDir(const tolm_fid_t* dir, uint32_t cookie, uint32_t* count, tolm_attr_t* attr,
                     TolmDirCallback callback, void* arg);

    static constexpr size_t kSegmentBuffer = 9216;
    static constexpr size_t kNameBuffer = 1024;

  private:
    pthread_mutex_t _mutex;
    uint8_t _segments[kSegmentBuffer];
    char _name[kNameBuffer];
};
