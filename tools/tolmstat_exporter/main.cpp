// tolmstat_exporter: this node's tolmstatsd statistics for Prometheus.

#include <signal.h>
#include <syslog.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "DaemonSource.h"
#include "HttpServer.h"
#include "SLogger.h"
#include "Scrape.h"
#include "TolmVersion.h"

namespace {

const char* const kUsage =
    "usage: tolmstat_exporter [--web.listen-address=[HOST]:PORT] [--web.telemetry-path=PATH]\n"
    "                         [--web.max-requests=N] [--web.config.file=FILE]\n"
    "                         [--tolmstatsd.host=HOST] [--log.stderr]\n"
    "       tolmstat_exporter --version | --help\n"
    "Serves the latest snapshot of each record of tolmstatsd on HOST (default\n"
    "localhost) in the Prometheus text format on PATH (default /metrics), at\n"
    "[HOST]:PORT (default :9746, every address). More than N scrapes at once\n"
    "(default 40) are answered 503. FILE is a web configuration in the exporter\n"
    "toolkit's format: tls_server_config (cert_file, key_file) and\n"
    "basic_auth_users (NAME: bcrypt hash).\n";

constexpr int kUsageError = 2;

[[noreturn]] void badUsage(const std::string& why) {
    fprintf(stderr, "tolmstat_exporter: %s\n%s", why.c_str(), kUsage);
    exit(kUsageError);
}

}  // namespace

int main(int argc, char** argv) {
    if (tolmVersionAsked(argc, argv, "tolmstat_exporter"))
        return 0;
    HttpServer::Options options;
    std::string host = "localhost", configFile;
    bool toStderr = false;
    for (int i = 1; i < argc; i++) {
        std::string arg = argv[i], name = arg, value;
        bool hasValue = false;
        size_t eq = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
            hasValue = true;
        }
        auto operand = [&]() {
            if (hasValue)
                return value;
            if (i + 1 >= argc)
                badUsage(name + " needs a value");
            return std::string(argv[++i]);
        };
        if (name == "--help" || name == "-h") {
            fputs(kUsage, stdout);
            return 0;
        } else if (name == "--web.listen-address") {
            options.listen = operand();
        } else if (name == "--web.telemetry-path") {
            options.telemetryPath = operand();
            if (options.telemetryPath.empty() || options.telemetryPath[0] != '/')
                badUsage("--web.telemetry-path must begin with /");
        } else if (name == "--web.max-requests") {
            std::string v = operand();
            char* end = nullptr;
            long n = strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0' || n < 0 || n > 100000)
                badUsage("--web.max-requests is a count: " + v);
            // 0, as for node_exporter, is no limit.
            options.maxRequests = n == 0 ? 1 << 30 : static_cast<int>(n);
        } else if (name == "--web.config.file") {
            configFile = operand();
        } else if (name == "--tolmstatsd.host") {
            host = operand();
        } else if (name == "--log.stderr") {
            toStderr = true;
        } else {
            badUsage("unknown option " + arg);
        }
    }
    SLogger::initialize(toStderr, LOG_INFO, "tolmstat_exporter");
    try {
        if (!configFile.empty())
            options.web = WebConfig::load(configFile);
    } catch (const std::exception& e) {
        fprintf(stderr, "tolmstat_exporter: %s\n", e.what());
        return 1;
    }
    // A daemon that does not answer within a second costs the scrape no more.
    Scrape scrape([host] { return std::make_unique<DaemonSource>(host, 1); },
                  [] {
                      return std::chrono::duration<double>(
                                 std::chrono::system_clock::now().time_since_epoch())
                          .count();
                  });
    HttpServer server(options, [&scrape] { return scrape.text(); });
    signal(SIGPIPE, SIG_IGN);
    sigset_t stops;
    sigemptyset(&stops);
    sigaddset(&stops, SIGTERM);
    sigaddset(&stops, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stops, nullptr);  // the server's threads inherit it
    try {
        server.start();
    } catch (const std::exception& e) {
        fprintf(stderr, "tolmstat_exporter: %s\n", e.what());
        return 1;
    }
    SLogger::notice("listening on %s (port %d), %s%s, tolmstatsd on %s", options.listen.c_str(),
                    server.port(), options.web.certPem.empty() ? "HTTP" : "HTTPS",
                    options.web.users.empty() ? "" : " with basic authentication", host.c_str());
    int sig = 0;
    sigwait(&stops, &sig);
    SLogger::notice("stopping on signal %d", sig);
    return 0;
}
