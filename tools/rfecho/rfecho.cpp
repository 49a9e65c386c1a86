// rfecho: an Rf server on interface 1 that answers every request with its own body.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "RfPthread.h"
#include "TolmVersion.h"

namespace {

constexpr uint32_t kEchoInterface = 1;

void usage() {
    fprintf(stderr, "usage: rfecho --port P [--drop PCT]\n");
}

bool parseNumber(const char* text, long low, long high, long* valuep) {
    char* endp = nullptr;
    long value = strtol(text, &endp, 10);
    if (endp == text || *endp != '\0' || value < low || value > high) {
        return false;
    }
    *valuep = value;
    return true;
}

void echo(void* contextp, RfServerCall* callp, RfPacket* requestp) {
    RfUserEndPoint* endp = static_cast<RfUserEndPoint*>(contextp);
    RfPacket* responsep = RfUser_allocPacket(endp);
    if (responsep == nullptr) {
        Rf_freePacket(requestp);
        return;
    }
    nbuf_addIov(responsep, requestp->datap, requestp->size);
    Rf_freePacket(requestp);
    Rf_sendResponse(callp, responsep);
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "rfecho"))
        return 0;
    long port = -1;
    long dropPct = 0;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            if (!parseNumber(argv[++i], 0, 65535, &port)) {
                usage();
                return 2;
            }
        } else if (strcmp(argv[i], "--drop") == 0 && i + 1 < argc) {
            if (!parseNumber(argv[++i], 0, 100, &dropPct)) {
                usage();
                return 2;
            }
        } else {
            usage();
            return 2;
        }
    }
    if (port < 0) {
        usage();
        return 2;
    }
    srandom(static_cast<unsigned>(getpid()));
    RfUserEndPoint* endp = nullptr;
    if (RfUser_createUDPEndPoint(static_cast<uint16_t>(port), &endp) != 0) {
        fprintf(stderr, "rfecho: cannot create the UDP endpoint\n");
        return 1;
    }
    RfUser_setDropPct(endp, static_cast<int32_t>(dropPct));
    Rf* rfp = nullptr;
    if (Rf_create(endp, &rfp) != 0 ||
        Rf_createServer(rfp, kEchoInterface, echo, endp, nullptr) != 0) {
        fprintf(stderr, "rfecho: cannot create the Rf server\n");
        return 1;
    }
    printf("rfecho: port %u\n", RfUser_getEndPointPort(endp));
    fflush(stdout);
    RfUser_dispatch(endp);
    return 0;
}
