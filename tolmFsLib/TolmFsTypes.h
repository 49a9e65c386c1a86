#pragma once

#include <cstddef>
#include <cstdint>

// The objects, attributes and credentials of the cluster file system as the
// file operations carry them. On the wire every field is in the host's native
// byte order; the word layouts are in TolmFsRequest.h (requests) and
// TolmFsReply.h (replies).

struct tolm_fid_t {
    uint32_t vfs;
    uint32_t vnode;
    uint32_t unique;
};

// The vnode of a VFS's root directory: its fid is {VFS id, 27, 0}.
constexpr uint32_t TOLM_INO_ROOT = 27;
// File type of a directory in tolm_attr_t.
constexpr uint8_t TOLM_FILETYPE_DIR = 2;
constexpr uint8_t TOLM_FILETYPE_REG = 1;
constexpr uint8_t TOLM_FILETYPE_LINK = 3;

// Attributes as the D-blade returns them: 15 words.
struct tolm_attr_t {
    uint32_t uniquifier;  // 24 bits
    uint8_t filetype;
    uint32_t links;  // 24 bits
    uint8_t high_attrs;
    uint16_t low_attrs;
    uint16_t mode;
    uint32_t uid;
    uint32_t gid;
    uint32_t atime;
    uint64_t length;
    uint32_t ctime_secs;
    uint32_t ctime_nsecs;
    uint32_t mtime_secs;
    uint32_t mtime_nsecs;
    uint64_t blocks;    // 52 bits
    uint16_t domainId;  // 12 bits
    uint32_t crtime;
};

// Attributes to set: 13 words. `how` says which fields apply.
struct tolm_set_attr_t {
    uint32_t how;
    uint32_t mode;
    uint32_t uid;
    uint32_t gid;
    uint64_t size;
    uint32_t dos_attributes;
    uint32_t atime_secs;
    uint32_t atime_nsecs;
    uint32_t crtime;
    uint32_t mtime_secs;
    uint32_t mtime_nsecs;
    uint32_t domainId;
};

// `how` bits.
constexpr uint32_t TOLM_SET_MODE = 1;
constexpr uint32_t TOLM_SET_UID = 2;
constexpr uint32_t TOLM_SET_GID = 4;
constexpr uint32_t TOLM_SET_SIZE = 8;

constexpr int TOLM_MAX_GIDS = 16;

// The domain word of the credentials: ngids in bits 0-15, domainId in bits
// 16-30, isUserId in bit 31.
struct tolm_cred_t {
    uint32_t uid;
    uint32_t gid;
    uint32_t domain;
    uint32_t generic_gids[TOLM_MAX_GIDS];
};

inline uint32_t tolmCredNgids(const tolm_cred_t& c) {
    return c.domain & 0xFFFF;
}
inline uint32_t tolmCredDomainId(const tolm_cred_t& c) {
    return (c.domain >> 16) & 0x7FFF;
}

constexpr int TOLM_MAX_VOLNAME = 128;

// The longest path `lookup` takes, and the size of a link's text buffer (the
// text and its terminating zero).
constexpr size_t TOLM_MAX_PATH = 5631;
constexpr size_t TOLM_LINK_BUFFER = 5632;

// Where a mount point leads.
struct tolm_mountpinfo {
    uint32_t rootvnode;
    uint32_t rootunique;
    uint32_t volnameLength;
    char volname[TOLM_MAX_VOLNAME];
};
