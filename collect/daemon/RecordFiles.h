#pragma once

#include "DbladeStats.h"
#include "FcdStats.h"
#include "LpStatsSet.h"
#include "MgmtProcStats.h"
#include "NbladeStats.h"
#include "Serializer.h"
#include "FileBuffer.h"
#include "Snapshot.h"

// A record's whole binary form: every section selected where a record takes
// a section mask. The signal dump and persistence write the same bytes.
constexpr unsigned int RECORD_ALL_SECTIONS = 0xffffffffu;
// S is Serializer (any of its kinds, passed as one) or FileBuffer.
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

// Calls fn(record, binary file name, XML file name, error text) for each
// record a snapshot holds, in the order the files are written; the error
// text takes the exception's message and code.
template <typename Fn>
void forEachRecordFile(Snapshot* s, Fn fn) {
    if (s->nblade())
        fn(*s->nblade(), "nblade", "nblade.xml", "Failed to write nblade stats: %s (%d)");
    if (s->dblade())
        fn(*s->dblade(), "dblade", "dblade.xml", "Failed to write dblade stats: %s (%d)");
    if (s->lps())
        fn(*s->lps(), "lp", "lp.xml", "Failed to write lp stats: %s (%d)");
    if (s->fcds())
        fn(*s->fcds(), "fcd", "fcd.xml", "Failed to write fcd stats: %s (%d)");
    if (s->mgmt())
        fn(*s->mgmt(), "mgmtproc", "mgmtproc.xml", "Failed to write mgmt stats: %s (%d)");
}
