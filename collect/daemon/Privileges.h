#pragma once

#include <sys/types.h>

#include <cstdio>

// The identity calls of the process, replaceable in tests.
class IdentityOps {
  public:
    virtual ~IdentityOps() = default;
    virtual gid_t getgid();
    virtual uid_t getuid();
    // Each returns 0 or -1 with errno set, as the system calls do.
    virtual int setgid(gid_t gid);
    virtual int setuid(uid_t uid);
};

// Drops any set-group and set-user identity: setgid(getgid()), then
// setuid(getuid()); the second is called even when the first fails. Each
// failure writes one line to `err` ("setgid failed: ..." / "setuid failed:
// ..."). Returns true when both calls succeeded.
bool dropPrivileges(IdentityOps& ops, FILE* err);
