#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "WebConfig.h"

struct MHD_Daemon;
struct MHD_Connection;

// The exporter's HTTP side, on libmicrohttpd: a thread per connection (a
// scrape may wait a second on the daemon while others are served), GET of
// the telemetry path answers `metrics()` as text format 0.0.4 (gzip when
// the request accepts it), "/" a landing page that links it, anything else
// 404. More than `maxRequests` scrapes at once: 503 for the extra ones. With
// users configured, every request needs basic authentication (401 without
// or with wrong credentials); with a certificate, HTTPS only.
class HttpServer {
  public:
    struct Options {
        std::string listen = ":9746";  // [HOST]:PORT
        std::string telemetryPath = "/metrics";
        int maxRequests = 40;
        int maxConnections = 1024;
        int idleSecs = 60;  // a connection that sends nothing is closed
        WebConfig web;
    };
    HttpServer(const Options& options, std::function<std::string()> metrics);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Binds and starts serving; throws std::runtime_error with the reason.
    void start();
    // The port bound (useful with port 0).
    int port() const;

    // Queues the response to one request (for libmicrohttpd's handler);
    // false when none could be queued.
    bool answer(MHD_Connection* c, const std::string& url, const std::string& method);

  private:
    Options _options;
    std::function<std::string()> _metrics;
    MHD_Daemon* _daemon = nullptr;
    std::atomic<int> _inFlight{0};
};
