#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TolmFsOp.h"
#include "TolmFsTypes.h"

// The replies of the D-blade file service, every word in the host's byte
// order. The first word is the status: bit 0 set means failure, with the
// D-blade's error code in bits 8-27. Without bit 0, bits 8-31 carry a count
// (the bytes of a read or write piece, of a directory read's segments, of a
// link's text) and bit 5 says that the end of the data was reached (read and
// directory read).
//
// By operation, after the status:
//   getAttr, read, write, readDir:
//                         attributes (15 words); read data and directory
//                         segments follow these 16 words
//   setAttr (attributes before the change), remove, rmDir, rename, link (the
//   directory's attributes): the same, as the simulated D-blade answers;
//                         the protocol leaves these layouts open, so the
//                         client takes attributes when 15 words follow and
//                         accepts the status alone
//   create, mkDir:        one word (0), the new fid (3 words), attributes
//   lookup:               fid (3 words), attributes, then a length word and
//                         that many bytes (padded to 4): the target of a
//                         symbolic link or the VFS name of a mount point; the
//                         same layout whether the status is a failure or not
//   readLink:             attributes, then the link text (its length in the
//                         status's count)
//   readMountPoint:       attributes, rootvnode, rootunique, then a length
//                         word and the VFS name's bytes (padded to 4)
//   configureDM, setattrDM: the status alone
//
// Attributes, 15 words: uniquifier (bits 0-23) with filetype (bits 24-31);
// links (bits 0-23) with high_attrs (bits 24-31); low_attrs (bits 0-15) with
// mode (bits 16-31); uid; gid; atime; length (2 words); ctime seconds and
// nanoseconds; mtime seconds and nanoseconds; blocks (bits 0-51) with
// domainId (bits 52-63) in 2 words; crtime.

// A reply decoded by its operation's form. Pointers point into the reply.
struct TolmFsReplyData {
    uint32_t status = 0;
    tolm_attr_t attr = {};
    tolm_fid_t fid = {};
    // Lookup: a link's target or a mount point's VFS name (at most
    // TOLM_MAX_PATH bytes); mount point: the VFS name (at most 127 bytes).
    std::string text;
    uint32_t rootvnode = 0;
    uint32_t rootunique = 0;
    // Data: the status's count of bytes after the attributes. Directory
    // segments: every byte after the attributes, a whole number of 2048-byte
    // segments and at most 9216 bytes (the count's unit is the D-blade's
    // choice, so it is not used).
    const uint8_t* data = nullptr;
    size_t dataLength = 0;
};

class TolmFsReply {
  public:
    static constexpr uint32_t kFailed = 0x1;
    static constexpr uint32_t kEnd = 0x20;
    static constexpr size_t kAttrWords = 15;
    // Status and attributes: where read data and directory segments begin.
    static constexpr size_t kHeaderBytes = 4 * (1 + kAttrWords);

    static uint32_t failure(uint32_t error) { return kFailed | ((error & 0xFFFFF) << 8); }
    static uint32_t success(uint32_t count, bool end) { return (count << 8) | (end ? kEnd : 0); }
    static bool failed(uint32_t status) { return (status & kFailed) != 0; }
    static uint32_t error(uint32_t status) { return (status >> 8) & 0xFFFFF; }
    static uint32_t count(uint32_t status) { return status >> 8; }
    static bool end(uint32_t status) { return (status & kEnd) != 0; }

    // Decodes a reply of the given form. A failure status alone is a whole
    // reply, but for a lookup, whose failures on a link or a mount point
    // carry the same fields as a success. False when the reply is cut short
    // or breaks its form.
    static bool decode(TolmFsReplyForm form, const uint8_t* in, size_t len, TolmFsReplyData* out);

    // Writing (the D-blade's side).
    void putWord(uint32_t w);
    void putU64(uint64_t v);
    void putFid(const tolm_fid_t& fid);
    void putAttr(const tolm_attr_t& a);
    // A length word, then the bytes padded to 4.
    void putCounted(const std::string& bytes);
    void putBytes(const void* bytes, size_t n);
    const std::vector<uint8_t>& bytes() const { return _out; }

    // Reading (the library's side): each returns false when the reply is cut short.
    TolmFsReply(const uint8_t* in, size_t len) : _in(in), _len(len) {}
    TolmFsReply() = default;
    bool getWord(uint32_t* w);
    bool getFid(tolm_fid_t* fid);
    bool getAttr(tolm_attr_t* a);
    bool getCounted(std::string* bytes, size_t max);
    // The rest of the reply from where reading stands.
    const uint8_t* rest() const { return _in + _pos; }
    size_t restLength() const { return _len - _pos; }

  private:
    std::vector<uint8_t> _out;
    const uint8_t* _in = nullptr;
    size_t _len = 0;
    size_t _pos = 0;
};
