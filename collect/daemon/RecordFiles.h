#pragma once

#include "FileBuffer.h"
#include "Serializer.h"
#include "Snapshot.h"
#include "WholeRecord.h"

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
