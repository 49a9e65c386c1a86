#pragma once

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"

// A record's whole binary form: every section selected where a record takes
// a section mask (every reply, dump and persisted file carries them all).
// S is Serializer (any of its kinds, passed as one), XdrBuffer (and its
// Counter and Words) or FileBuffer.
constexpr unsigned int RECORD_ALL_SECTIONS = 0xffffffffu;
template <class S>
void serializeWhole(const NbladeStats& r, S& s) {
    r.serializeTo(s, RECORD_ALL_SECTIONS);
}
template <class S>
void serializeWhole(const DbladeStats& r, S& s) {
    r.serializeTo(s, RECORD_ALL_SECTIONS);
}
template <class S>
void serializeWhole(const MgmtProcStats& r, S& s) {
    r.serializeTo(s, RECORD_ALL_SECTIONS);
}
template <class S>
void serializeWhole(const LpStatsSet& r, S& s) {
    r.serializeTo(s);
}
template <class S>
void serializeWhole(const FcdStats& r, S& s) {
    r.serializeTo(s);
}
