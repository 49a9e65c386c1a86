#include "CifsNbladeStatsCollector.h"

#include <cstddef>
#include <cstring>
#include <vector>

#include "Check.h"
#include "nbstream.h"

namespace {

// One field of the CIFS sub-record and the SmbStats word it comes from.
struct SmbSlot {
    uint32_t recordOffset;
    uint32_t width;
    uint32_t word;
};

// The SmbStats array holds the CIFS fields from SessionRequests on, in record
// order and at their own widths, with one more 64-bit counter,
// ScpFailedToReturnResponse, after ScpFailedCallbacks that the record does
// not keep.
const std::vector<SmbSlot>& smbSlots() {
    static const std::vector<SmbSlot> slots = [] {
        std::vector<SmbSlot> t;
        bool inSmb = false;
        uint32_t word = 0;
#define SMB_SLOT(type, name, ...)                                                                      \
    if (std::strcmp(#name, "SessionRequests") == 0) {                                             \
        inSmb = true;                                                                             \
    }                                                                                             \
    if (inSmb) {                                                                                  \
        t.push_back({static_cast<uint32_t>(offsetof(nb_cifs_data_t, name)), sizeof(type), word}); \
        word += sizeof(type) / 4;                                                                 \
        if (std::strcmp(#name, "ScpFailedCallbacks") == 0) {                                      \
            word += 2;                                                                            \
        }                                                                                         \
    }
        NB_CIFS_FIELDS(SMB_SLOT)
#undef SMB_SLOT
        TOLM_CHECK(word * 4 == CifsNbladeStatsCollector::EXPECTED_BYTES);
        return t;
    }();
    return slots;
}

}  // namespace

CifsNbladeStatsCollector::CifsNbladeStatsCollector(const std::string& host)
    : NbladeRpcStatsCollector(host) {
    smbSlots();
}

void CifsNbladeStatsCollector::populate(nblade_data_t* record) {
    record->_cifsStatsRpcStatus = static_cast<uint32_t>(query(
        STREAM_STATS_CIFS_COUNTS, EXPECTED_BYTES, "Stat size mismatch for CIFS: %d != %d", record));
}

void CifsNbladeStatsCollector::copyCounters(const unsigned int* words, nblade_data_t* record) {
    char* base = reinterpret_cast<char*>(&record->cifs);
    for (const SmbSlot& s : smbSlots()) {
        if (s.width == 8) {
            uint64_t v = counter64(words + s.word, 0);
            std::memcpy(base + s.recordOffset, &v, sizeof(v));
        } else {
            uint32_t v = words[s.word];
            std::memcpy(base + s.recordOffset, &v, sizeof(v));
        }
    }
}
