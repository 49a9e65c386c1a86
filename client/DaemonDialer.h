#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <map>
#include <mutex>

#include "NodeDialer.h"

// The nodes' tolmstatsd over TCP: first at the query service's own port
// (951), which costs no portmapper exchange; when that port refuses, at the
// port the node's portmapper (port 111) gives for the service, as for a
// daemon that serves elsewhere. Names are resolved in the calling thread by
// the name service (addresses as text need none), once each; the calls may
// come from several threads at once.
class DaemonDialer : public NodeDialer {
  public:
    explicit DaemonDialer(uint16_t servicePort = 951, uint16_t portmapperPort = 111)
        : _servicePort(servicePort), _portmapperPort(portmapperPort) {}

    int dial(const std::string& node, std::chrono::milliseconds left) override;
    int redial(const std::string& node, std::chrono::milliseconds left) override;

  private:
    in_addr addressOf(const std::string& node);

    uint16_t _servicePort;
    uint16_t _portmapperPort;
    std::mutex _lock;  // guards _addresses
    std::map<std::string, in_addr> _addresses;
};
