#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "RfPthread.h"
#include "SimDirSegments.h"

// The simulated D-blade file service: an Rf server (interface 1) on a UDP
// port, executing the file operations of the cluster file system on
// directories of the local file system, one per VFS, and answering with the
// message layouts of the client library's codec (TolmFsOp.h, TolmFsRequest.h,
// TolmFsReply.h); directory segments are its own (SimDirSegments.h).
//
// Decisions where the protocol leaves the D-blade free:
// - Objects: a VFS's root is {vfs, 27, 0}; every other object gets a vnode
//   (counting from 1000) and a uniquifier (1) when first seen by its path,
//   kept for the life of the process; a removed object's fid is forgotten, a
//   renamed one's moves with it.
// - A symbolic link whose text starts with "@vfs:" is a mount point into the
//   VFS named after the colon: a lookup of it fails with 262 and carries the
//   fid {vfs, 27, 0} and that name; readMountPoint gives root vnode 27,
//   uniquifier 0 and the name. Any other symbolic link fails a lookup with
//   257 and carries the link's own fid; readLink gives its text.
// - Directory reads list the names in byte order, without "." and "..";
//   names are packed into name segments in that order (a name taking one
//   entry, plus one per further 16 bytes), up to 4 segments (8192 bytes) per
//   reply (DirLayout chooses fewer, the header layout, the count's unit and
//   where the end flag goes). The cookie is the index of the first segment to
//   send. By default the end flag comes in a reply of no segments of its own,
//   the answer to a cookie past the last segment; with `endWithData` it comes
//   on the reply that carries the last segment (an empty directory still
//   gives one reply of no segments with the end flag).
// - Read: the end flag is set when the piece reaches the end of the file.
// - Create and mkDir of an existing name fail with 265; remove of a
//   directory fails with 266 ("Not a Regular File"), rmDir of a non-empty one
//   with 269. setAttr applies the mode (how & 1) and the size (how & 8).
//   rename and link work within one VFS and answer the attributes of the
//   (target) directory. configureDM and setattrDM answer a bare 0.
// - System errors: ENOENT 258, EEXIST 265, ENOTDIR 261, ENOTEMPTY 269,
//   EISDIR 271, EACCES and EPERM 256, ENOSPC 277, EROFS 278, others 264; a
//   name longer than the limit set (if any) 260; a
//   fid of a VFS it does not serve 16, of an object it does not know 263.
// - Request log: with a log file, one line per request: the operation name,
//   then "vfs=V", and for read and write "offset=O count=C", for lookups and
//   the name operations "name=N" (after any fault it answered with).
class SimDbladeFs {
  public:
    // The choices the protocol leaves to a D-blade for directory reads.
    struct DirLayout {
        SimDirSegments::Header header = SimDirSegments::Header::Narrow;
        bool countInSegments = false;  // the status's count: segments, not bytes
        int segmentsPerReply = 4;      // 1 to 4
        bool endWithData = false;
    };

    struct Options {
        uint16_t port = 0;
        DirLayout dirLayout;
        // Answer 288 (busy) to the next N requests.
        uint32_t busyRequests = 0;
        // Answer 287 (offline) or 16 (no such VFS) to the next request, once.
        bool offlineOnce = false;
        bool noVfsOnce = false;
        // Percentage of outgoing datagrams dropped by the endpoint.
        int32_t dropPct = 0;
        // Never answer.
        bool silent = false;
        std::string logFile;
        // Names longer than this are refused with 260 (0: no limit but the
        // local file system's).
        size_t maxName = 0;
        // A faulty D-blade: every directory of this name lists one more
        // entry, "itself", with the directory's own fid (a lookup of it gives
        // the directory; remove answers 266, rmDir 269).
        std::string selfListing;
        // Reads of every directory of this name never end: each reply carries
        // as many segments as a reply may, the directory's own over and over,
        // without the end flag.
        std::string endlessDir;
    };

    // Creates the endpoint and server and starts the dispatch thread; false
    // when the port cannot be had.
    static bool start(const Options& options);
    static void stop();
    // Serves on an Rf instance the process has already (a test's own client
    // instance: one dispatch thread serves both sides), instead of an
    // endpoint of its own; `options.port` and `dropPct` are not used. Undone
    // by `stop`, which then leaves the instance alone.
    static bool attach(Rf* rf, RfUserEndPoint* endp, const Options& options);
    static void addVfs(uint32_t vfsId, const std::string& name, const std::string& dir);
    // Changes the directory read choices of a running service.
    static void setDirLayout(const DirLayout& layout);
    static uint16_t port();
};
