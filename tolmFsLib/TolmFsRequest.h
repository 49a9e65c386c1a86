#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "TolmFsOp.h"
#include "TolmFsTypes.h"

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
// The presence bits of dchip_flags (write data, source name, target name),
// and with them the header's form, are set by `encode` from what the request
// carries; the prefetch and readlock bits, the opcode and where each
// parameter goes come from the operation's row (TolmFsOp.h).
struct TolmFsRequest {
    // A request of one operation (TolmFsOp.h): its opcode, prefetch and
    // readlock bits, credentials or none, and its parameters, all 0 but the
    // specifier.
    explicit TolmFsRequest(const TolmFsOp& op);
    TolmFsRequest() = default;

    const TolmFsOp* op = nullptr;  // decode: the row of the opcode, null if unknown
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

    // Parameters by name, at the place the operation's row gives them. A
    // parameter the operation does not carry is a programming error when
    // set, and reads as 0.
    void set(TolmFsParam p, uint32_t w);
    void setU64(TolmFsParam p, uint64_t v);  // two words in the host's order
    void setFid(TolmFsParam p, const tolm_fid_t& fid);
    void setSetAttr(TolmFsParam p, const tolm_set_attr_t& a);
    uint32_t specifier() const { return params.empty() ? 0 : params[0]; }
    void setSpecifier(uint32_t s) { params.at(0) = s; }

    uint32_t get(TolmFsParam p) const;
    uint64_t getU64(TolmFsParam p) const;
    tolm_fid_t getFid(TolmFsParam p) const;
    tolm_set_attr_t getSetAttr(TolmFsParam p) const;

    bool longForm() const;
    // Bytes of the encoded message.
    size_t size() const;
    // Writes size() bytes.
    void encode(uint8_t* out) const;
    std::vector<uint8_t> encode() const;
    // Parses a whole message: false when it is cut short, its lengths disagree
    // or bytes are left over. `op` is the row of its opcode (null for an
    // unknown one); the caller checks that the parameters fill that row.
    static bool decode(const uint8_t* in, size_t len, TolmFsRequest* out);

  private:
    size_t at(TolmFsParam p, size_t width) const;
};
