#include "Privileges.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

gid_t IdentityOps::getgid() {
    return ::getgid();
}
uid_t IdentityOps::getuid() {
    return ::getuid();
}
int IdentityOps::setgid(gid_t gid) {
    return ::setgid(gid);
}
int IdentityOps::setuid(uid_t uid) {
    return ::setuid(uid);
}

bool dropPrivileges(IdentityOps& ops, FILE* err) {
    bool ok = true;
    if (ops.setgid(ops.getgid()) != 0) {
        fprintf(err, "setgid failed: %s\n", strerror(errno));
        ok = false;
    }
    if (ops.setuid(ops.getuid()) != 0) {
        fprintf(err, "setuid failed: %s\n", strerror(errno));
        ok = false;
    }
    return ok;
}
