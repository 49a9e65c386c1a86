#include "RfPacketUser.h"

#include <cstring>

#include "RfLog.h"

void nbuf_reset(RfPacket* p) {
    p->hdrSize = RF_PACKET_HEADER_ROOM;
    p->size = 0;
    p->tailSize = RF_PACKET_DATA_ROOM;
    p->datap = p->adatap + p->hdrSize;
}

uint8_t* nbuf_addTrailer(RfPacket* p, int32_t size) {
    RF_ASSERT(p->tailSize >= size, "p->tailSize >= size");
    uint8_t* endp = p->datap + p->size;
    p->size += size;
    p->tailSize -= size;
    return endp;
}

uint8_t* nbuf_addHeader(RfPacket* p, int32_t size) {
    RF_ASSERT(p->hdrSize >= size, "p->hdrSize >= size");
    p->datap -= size;
    p->hdrSize -= size;
    p->size += size;
    return p->datap;
}

uint8_t* nbuf_remHeader(RfPacket* p, int32_t size) {
    RF_ASSERT(p->size - size >= 0, "p->size >= 0");
    uint8_t* oldp = p->datap;
    p->datap += size;
    p->hdrSize += size;
    p->size -= size;
    return oldp;
}

uint8_t* nbuf_remTrailer(RfPacket* p, int32_t size) {
    RF_ASSERT(p->size - size >= 0, "p->size >= 0");
    p->size -= size;
    p->tailSize += size;
    return p->datap + p->size;
}

void nbuf_addIov(RfPacket* p, const void* bytes, int32_t n) {
    uint8_t* destp = nbuf_addTrailer(p, n);
    if (n > 0) {
        memcpy(destp, bytes, n);
    }
}

int32_t nbuf_copyData(void* destp, RfPacket* reqp, int32_t n) {
    int32_t count = n < reqp->size ? n : reqp->size;
    if (count > 0) {
        memcpy(destp, reqp->datap, count);
    }
    reqp->datap += count;
    reqp->hdrSize += count;
    reqp->size -= count;
    RF_ASSERT(reqp->size >= 0, "reqp->size >= 0");
    return count;
}

int32_t nbuf_copyDataNoPop(void* destp, const RfPacket* reqp, int32_t n) {
    int32_t count = n < reqp->size ? n : reqp->size;
    if (count > 0) {
        memcpy(destp, reqp->datap, count);
    }
    return count;
}

void nbuf_copyDataNoPopAtOffset(void* destp, const RfPacket* reqp, int32_t offset, int32_t len) {
    RF_ASSERT((offset + len) <= reqp->size, "(offset + len) <= reqp->size");
    if (len > 0) {
        memcpy(destp, reqp->datap + offset, len);
    }
}

int32_t nbuf_copyIovNoPop(RfPacket* destp, const RfPacket* srcp, int32_t offset, int32_t len) {
    if (len < 32) {
        return 0;
    }
    RF_ASSERT(srcp->size >= offset + len, "srcp->size >= offset + len");
    nbuf_addIov(destp, srcp->datap + offset, len);
    return len;
}

void nbuf_pullUp(RfPacket* destp, const RfPacket* srcp) {
    RF_ASSERT(srcp->size <= RF_PACKET_AREA_SIZE - destp->hdrSize, "destination room");
    memcpy(destp->datap, srcp->datap, srcp->size);
    destp->size = srcp->size;
    destp->tailSize = RF_PACKET_AREA_SIZE - destp->hdrSize - destp->size;
}

void nbuf_clonePacket(RfPacket* destp, const RfPacket* srcp, int32_t offset) {
    int32_t len = srcp->size - offset;
    RF_ASSERT(len <= RF_PACKET_AREA_SIZE - destp->hdrSize, "destination room");
    if (len > 0) {
        memcpy(destp->datap, srcp->datap + offset, len);
    } else {
        len = 0;
    }
    destp->size = len;
    destp->tailSize = RF_PACKET_AREA_SIZE - destp->hdrSize - destp->size;
}

int nbuf_strncmp(const void* bytes, const RfPacket* p, int32_t n) {
    if (n > p->size) {
        return -1;
    }
    if (n <= 0) {
        return 0;
    }
    int r = memcmp(bytes, p->datap, n);
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}
