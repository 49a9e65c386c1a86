#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TolmFsTypes.h"

// Operation codes (`version_opcode`).
constexpr uint16_t TOLM_OP_GETATTR = 1;
constexpr uint16_t TOLM_OP_WRITE = 3;
constexpr uint16_t TOLM_OP_LOOKUP = 4;
constexpr uint16_t TOLM_OP_READLINK = 5;  // also readMountPoint, by its specifier
constexpr uint16_t TOLM_OP_READ = 6;
constexpr uint16_t TOLM_OP_READDIR = 7;
constexpr uint16_t TOLM_OP_CREATE = 9;
constexpr uint16_t TOLM_OP_REMOVE = 10;
constexpr uint16_t TOLM_OP_SETATTR = 11;
constexpr uint16_t TOLM_OP_MKDIR = 13;
constexpr uint16_t TOLM_OP_RMDIR = 14;
constexpr uint16_t TOLM_OP_RENAME = 16;
constexpr uint16_t TOLM_OP_LINK = 17;
constexpr uint16_t TOLM_OP_CONFIGUREDM = 43;
constexpr uint16_t TOLM_OP_SETATTRDM = 44;

// `dchip_flags` of the hardware header.
constexpr uint16_t DCHIP_WRITE_DATA = 0x1;
constexpr uint16_t DCHIP_SOURCE_NAME = 0x2;
constexpr uint16_t DCHIP_TARGET_NAME = 0x4;
constexpr uint16_t DCHIP_READLOCK = 0x40;
constexpr uint16_t dchipPrefetch(unsigned n) {
    return static_cast<uint16_t>((n & 7) << 3);
}

// `flags` of the common header.
constexpr uint8_t TOLM_REQ_NO_ACCESS_CHECK = 0x80;
constexpr uint8_t TOLM_REQ_NO_DIR_TIME_CHANGE = 0x40;

// Specifier bits.
constexpr uint32_t TOLM_SPEC_NO_DM = 0x1000;
constexpr uint32_t TOLM_SPEC_READ_MOUNT_POINT = 0x80;

// One file operation request to a D-blade, the message that travels in one Rf
// packet, every field in the host's byte order:
//
//   hardware header, short form (4 bytes):
//     dchip_flags u16, credential_length u8 (words of the common header and
//     credentials), parameter_length u8 (words of the parameters)
//   long form (8 bytes, when a name or write data follows) adds:
//     source_filename_word_length u8, target_filename_word_length u8,
//     write_data_byte_length u16
//   common header: version_opcode u16, ngids u8, flags u8
//   credentials (absent for getAttr): uid, gid, domain word, ngids group ids
//   parameters: the specifier, then the operation's words
//   names: the source name, then the target name, each zero-padded to 4 bytes
//   data: the write data
//
// The presence bits of dchip_flags (write data, source name, target name) are
// set by `encode` from what the request carries; the caller gives the
// prefetch and readlock bits.
struct TolmFsRequest {
    uint16_t dchipFlags = 0;
    uint16_t opcode = 0;
    bool withCredentials = true;
    uint8_t flags = 0;
    tolm_cred_t cred = {};
    std::vector<uint32_t> params;  // the specifier first
    std::string sourceName;
    std::string targetName;
    const uint8_t* data = nullptr;  // write data (decode: points into the message)
    uint32_t dataLength = 0;

    void addWord(uint32_t w) { params.push_back(w); }
    // A 64-bit value as two words in the host's order.
    void addU64(uint64_t v);
    void addFid(const tolm_fid_t& fid);
    void addSetAttr(const tolm_set_attr_t& a);

    bool longForm() const;
    // Bytes of the encoded message.
    size_t size() const;
    // Writes size() bytes.
    void encode(uint8_t* out) const;
    std::vector<uint8_t> encode() const;
    // Parses a whole message: false when it is cut short, its lengths disagree
    // or bytes are left over.
    static bool decode(const uint8_t* in, size_t len, TolmFsRequest* out);

    // Reading the parameters back (the sim's side); out of range gives 0.
    uint32_t word(size_t i) const { return i < params.size() ? params[i] : 0; }
    uint64_t u64(size_t i) const;
    tolm_fid_t fid(size_t i) const;
    tolm_set_attr_t setAttr(size_t i) const;
};
