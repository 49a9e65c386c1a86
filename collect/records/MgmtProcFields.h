#pragma once

// Field lists of the management-process record. Each list is the one place where a
// sub-record's fields are named: the struct, the binary form, the XML form and
// the dump are all expanded from it. An entry is F(type, name), in wire order.

// The values of one process, from its status file.
#define PROC_STATS_FIELDS(F) \
    F(uint32_t, vmsize) \
    F(uint32_t, vmlock) \
    F(uint32_t, vmrss) \
    F(uint32_t, vmdata) \
    F(uint32_t, vmstack) \
    F(uint32_t, vmexe) \
    F(uint32_t, vmlib)

// The processes in record order: P(member, dump label).
#define MGMT_PROCESSES(P) \
    P(tomcat, "Tomcat") \
    P(vldb, "vldb") \
    P(hamgr, "hamgr") \
    P(tolmauthd, "tolmauthd") \
    P(tolmstatsd, "tolmstatsd")
