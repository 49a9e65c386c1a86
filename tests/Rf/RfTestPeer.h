#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <vector>

// A scripted Rf peer: a plain UDP socket on the loopback interface that builds and parses Rf
// datagrams byte by byte, independently of the engine's own encoding.
class RfTestPeer {
  public:
    struct Packet {
        uint8_t flags = 0;
        uint8_t fragment = 0;
        uint16_t window = 64;
        uint32_t connIdDest = 0;
        uint32_t connIdSrc = 0;
        uint32_t sequence = 0;
        uint32_t sequenceAck = 0;
        uint32_t channelId = 0;
        uint32_t call = 0;
        uint32_t interfaceId = 0;
        std::vector<uint8_t> body;  // everything behind the 32-byte header
        size_t wireSize = 0;        // bytes received
    };

    RfTestPeer();
    ~RfTestPeer();
    RfTestPeer(const RfTestPeer&) = delete;
    RfTestPeer& operator=(const RfTestPeer&) = delete;

    const struct sockaddr_in& address() const { return _addr; }
    static struct sockaddr_in loopback(uint16_t port);

    // Sends raw bytes, or a packet laid out by hand, to the given port on the loopback.
    void sendRaw(uint16_t port, const std::vector<uint8_t>& bytes);
    void send(uint16_t port, const Packet& p);
    // Receives one datagram, waiting up to waitMs; false when none came.
    bool receive(Packet* p, int waitMs);
    // Receives datagrams until one of the given type arrives (others are discarded).
    bool receiveType(Packet* p, uint8_t type, int waitMs);

    static std::vector<uint8_t> encode(const Packet& p);
    static Packet decode(const std::vector<uint8_t>& bytes);
    static uint32_t word(const std::vector<uint8_t>& bytes, size_t offset);
    static void appendWord(std::vector<uint8_t>* bytes, uint32_t value);

  private:
    int _fd;
    struct sockaddr_in _addr;
};
