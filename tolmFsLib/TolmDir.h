#pragma once

#include <pthread.h>

#include <cstdint>

#include "TolmDirSegment.h"
#include "TolmObj.h"

// Called for each name a directory read delivers: (argument, name, inode,
// uniquifier, flags); 0 goes on, anything else stops the read with
// TOLM_ERR_SKIP_SEGMENT.
typedef int (*TolmDirCallback)(void* arg, const char* name, uint32_t inode, uint32_t uniquifier,
                               uint32_t flags);

// Directories: make, read and remove (and the object operations of TolmObj).
class TolmDir : public TolmObj {
  public:
    // The Rf time-out of one rmDir call, which may take long on the D-blade.
    static constexpr int32_t kRmDirTimeoutSecs = 4000;
    // The segments one directory read takes at most (32 MiB of them, about a
    // million short names): a D-blade that goes on past them is not believed.
    static constexpr uint32_t kMaxSegments = 16384;

    explicit TolmDir(TolmVldb* vldb);
    ~TolmDir() override;

    uint32_t mkDir(const tolm_fid_t* dir, const char* name, const tolm_set_attr_t* set,
                   tolm_fid_t* fid, tolm_attr_t* attr, uint32_t flag);
    // Removing a directory may take long: this call (and no other thread's)
    // waits up to kRmDirTimeoutSecs, unless the Rf time-outs are the user's
    // (TolmVldb::setUserSpecificRfTimeouts), when it waits as every call does.
    uint32_t rmDir(const tolm_fid_t* dir, const char* name, tolm_attr_t* attr);
    // Reads the directory from `cookie` (0: the start), handing every name to
    // the callback in the order of the segments and their entries; `count`
    // is the number of names delivered. The next request's cookie is the
    // previous one plus the segments delivered. Ends with
    // TOLM_ERR_END_OF_FILE at a reply with the end flag (which may carry
    // segments too); TOLM_ERR_NOT_NAME_SEGMENT for a segment of another type;
    // TOLM_ERR_INVALID_DATA for the cases TolmDirSegment.h lists, and for a
    // reply with neither segments nor the end flag (which would have the read
    // ask the same cookie for ever), and for a read that goes on past
    // kMaxSegments segments.
    uint32_t readDir(const tolm_fid_t* dir, uint32_t cookie, uint32_t* count, tolm_attr_t* attr,
                     TolmDirCallback callback, void* arg);

    static constexpr size_t kSegmentBuffer = TolmDirSegment::kMaxReplyBytes;
    static constexpr size_t kNameBuffer = 1024;

  private:
    pthread_mutex_t _mutex;  // guards _segments and _name
    uint8_t _segments[kSegmentBuffer];
    char _name[kNameBuffer];
};
