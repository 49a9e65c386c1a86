#include "RfTestPeer.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

RfTestPeer::RfTestPeer() {
    _fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (_fd < 0) {
        throw std::runtime_error("socket");
    }
    _addr = loopback(0);
    if (bind(_fd, reinterpret_cast<struct sockaddr*>(&_addr), sizeof _addr) != 0) {
        throw std::runtime_error("bind");
    }
    socklen_t len = sizeof _addr;
    getsockname(_fd, reinterpret_cast<struct sockaddr*>(&_addr), &len);
}

RfTestPeer::~RfTestPeer() {
    close(_fd);
}

struct sockaddr_in RfTestPeer::loopback(uint16_t port) {
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    return addr;
}

void RfTestPeer::sendRaw(uint16_t port, const std::vector<uint8_t>& bytes) {
    struct sockaddr_in to = loopback(port);
    sendto(_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to);
}

void RfTestPeer::send(uint16_t port, const Packet& p) {
    sendRaw(port, encode(p));
}

bool RfTestPeer::receive(Packet* p, int waitMs) {
    struct pollfd pfd = {_fd, POLLIN, 0};
    if (poll(&pfd, 1, waitMs) <= 0) {
        return false;
    }
    std::vector<uint8_t> bytes(65536);
    ssize_t n = recv(_fd, bytes.data(), bytes.size(), 0);
    if (n < 0) {
        return false;
    }
    bytes.resize(static_cast<size_t>(n));
    *p = decode(bytes);
    return true;
}

bool RfTestPeer::receiveType(Packet* p, uint8_t type, int waitMs) {
    while (receive(p, waitMs)) {
        if ((p->flags & 7) == type) {
            return true;
        }
    }
    return false;
}

uint32_t RfTestPeer::word(const std::vector<uint8_t>& bytes, size_t offset) {
    if (offset + 4 > bytes.size()) {
        throw std::out_of_range("word beyond the datagram");
    }
    return static_cast<uint32_t>(bytes[offset]) | (static_cast<uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<uint32_t>(bytes[offset + 3]) << 24);
}

void RfTestPeer::appendWord(std::vector<uint8_t>* bytes, uint32_t value) {
    for (int i = 0; i < 4; i++) {
        bytes->push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

std::vector<uint8_t> RfTestPeer::encode(const Packet& p) {
    std::vector<uint8_t> bytes;
    bytes.push_back(p.flags);
    bytes.push_back(p.fragment);
    bytes.push_back(static_cast<uint8_t>(p.window));
    bytes.push_back(static_cast<uint8_t>(p.window >> 8));
    for (uint32_t v : {p.connIdDest, p.connIdSrc, p.sequence, p.sequenceAck, p.channelId, p.call,
                       p.interfaceId}) {
        appendWord(&bytes, v);
    }
    bytes.insert(bytes.end(), p.body.begin(), p.body.end());
    return bytes;
}

RfTestPeer::Packet RfTestPeer::decode(const std::vector<uint8_t>& bytes) {
    Packet p;
    p.wireSize = bytes.size();
    if (bytes.size() < 32) {
        p.body = bytes;
        return p;
    }
    p.flags = bytes[0];
    p.fragment = bytes[1];
    p.window = static_cast<uint16_t>(bytes[2] | (bytes[3] << 8));
    p.connIdDest = word(bytes, 4);
    p.connIdSrc = word(bytes, 8);
    p.sequence = word(bytes, 12);
    p.sequenceAck = word(bytes, 16);
    p.channelId = word(bytes, 20);
    p.call = word(bytes, 24);
    p.interfaceId = word(bytes, 28);
    p.body.assign(bytes.begin() + 32, bytes.end());
    return p;
}
