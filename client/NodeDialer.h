#pragma once

#include <chrono>
#include <string>

// How the nodes' daemons are reached for a query of many at once: a
// non-blocking stream socket to a node's query service, connected or with
// its connect on its way. Both calls throw SourceError when the node cannot
// be reached at all; neither waits for the connection.
class NodeDialer {
  public:
    virtual ~NodeDialer() = default;
    // To the service's own port (by the portmapper, within `left`, when that
    // port refuses at once).
    virtual int dial(const std::string& node, std::chrono::milliseconds left) = 0;
    // Again, the service's own port having refused the connection: by the
    // port the node's portmapper gives, asked within `left`.
    virtual int redial(const std::string& node, std::chrono::milliseconds left) = 0;
};
