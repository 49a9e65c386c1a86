#pragma once

#include <cstdint>

struct RfUserEndPoint;

// Room of a packet buffer: header room in front of the data, data room behind it.
constexpr int32_t RF_PACKET_HEADER_ROOM = 128;
constexpr int32_t RF_PACKET_DATA_ROOM = 9000;
constexpr int32_t RF_PACKET_AREA_SIZE = RF_PACKET_HEADER_ROOM + RF_PACKET_DATA_ROOM;

// One datagram buffer. Invariant: hdrSize + size + tailSize == RF_PACKET_AREA_SIZE and
// datap == adatap + hdrSize.
struct RfPacket {
    RfPacket* nextp;  // list links (free list, send queue, receive queues)
    RfPacket* prevp;
    RfUserEndPoint* gendp;  // the endpoint whose free list takes the packet back
    uint8_t* adatap;        // start of the allocated area
    uint8_t* datap;         // start of the data
    int32_t hdrSize;        // free bytes in front of the data
    int32_t size;           // bytes of data
    int32_t tailSize;       // free bytes behind the data
    int32_t refs;           // reference count
};

// Puts the boundaries back to those of a fresh packet (no data, all room free).
void nbuf_reset(RfPacket* p);

// Grows the data by n bytes at its end; returns where those bytes start.
uint8_t* nbuf_addTrailer(RfPacket* p, int32_t n);

// Grows the data by n bytes in front; returns the new start of the data.
uint8_t* nbuf_addHeader(RfPacket* p, int32_t n);

// Removes n bytes from the front of the data; returns the old start of the data.
uint8_t* nbuf_remHeader(RfPacket* p, int32_t n);

// Removes n bytes from the end of the data; returns the new end of the data.
uint8_t* nbuf_remTrailer(RfPacket* p, int32_t n);

// Appends n bytes to the data.
void nbuf_addIov(RfPacket* p, const void* bytes, int32_t n);

// Copies min(n, size) bytes from the front of the data and consumes them; returns the count.
int32_t nbuf_copyData(void* destp, RfPacket* reqp, int32_t n);

// Copies min(n, size) bytes from the front of the data; the packet is unchanged.
int32_t nbuf_copyDataNoPop(void* destp, const RfPacket* reqp, int32_t n);

// Copies n bytes starting at offset into the data; the packet is unchanged.
void nbuf_copyDataNoPopAtOffset(void* destp, const RfPacket* reqp, int32_t offset, int32_t len);

// Appends len bytes of the source's data from offset to the destination and returns len, when
// len is at least 32; smaller pieces are not copied (returns 0) and are left to the caller.
int32_t nbuf_copyIovNoPop(RfPacket* destp, const RfPacket* srcp, int32_t offset, int32_t len);

// Copies all the source's data to the destination's data start and sets its size to it.
void nbuf_pullUp(RfPacket* destp, const RfPacket* srcp);

// Copies the source's data from offset to its end to the destination's data start, which
// then holds exactly those bytes.
void nbuf_clonePacket(RfPacket* destp, const RfPacket* srcp, int32_t offset);

// Compares the first n data bytes with the given bytes (unsigned): -1, 0 or 1. -1 when n
// exceeds the data, 0 when n is 0.
int nbuf_strncmp(const void* bytes, const RfPacket* p, int32_t n);
