#pragma once

// Field lists of the management-process record. Each list is the one place where a
// sub-record's fields are named: the struct, the binary form, the XML form and
// the dump are all expanded from it. An entry is F(type, name), in wire order,
// with TOLM_GAUGE after the name of a level (a value that goes up and down)
// rather than a count, TOLM_KIB_GAUGE after a level in kibibytes.

// The values of one process, from its status file.
#define PROC_STATS_FIELDS(F) \
    F(uint32_t, vmsize, TOLM_KIB_GAUGE) \
    F(uint32_t, vmlock, TOLM_KIB_GAUGE) \
    F(uint32_t, vmrss, TOLM_KIB_GAUGE) \
    F(uint32_t, vmdata, TOLM_KIB_GAUGE) \
    F(uint32_t, vmstack, TOLM_KIB_GAUGE) \
    F(uint32_t, vmexe, TOLM_KIB_GAUGE) \
    F(uint32_t, vmlib, TOLM_KIB_GAUGE)

// The processes in record order: P(member, dump label).
#define MGMT_PROCESSES(P) \
    P(tomcat, "Tomcat") \
    P(vldb, "vldb") \
    P(hamgr, "hamgr") \
    P(tolmauthd, "tolmauthd") \
    P(tolmstatsd, "tolmstatsd")
