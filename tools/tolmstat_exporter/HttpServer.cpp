#include "HttpServer.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <sys/types.h>
#include <zlib.h>

#include <cstdarg>
#include <cstring>
#include <stdexcept>

// clang-format off
#include <microhttpd.h>
// clang-format on

#include "SLogger.h"

namespace {

const char* const kTextFormat = "text/plain; version=0.0.4; charset=utf-8";

MHD_Result handleRequest(void* self, MHD_Connection* c, const char* url, const char* method,
                         const char*, const char*, size_t* uploadSize, void** state) {
    // The first call for a request only announces it; its body (none
    // expected) comes in the next ones.
    static int announced;
    if (*state == nullptr) {
        *state = &announced;
        return MHD_YES;
    }
    *uploadSize = 0;
    return static_cast<HttpServer*>(self)->answer(c, url, method) ? MHD_YES : MHD_NO;
}

void logError(void*, const char* fmt, va_list ap) {
    char buf[512];
    vsnprintf(buf, sizeof buf, fmt, ap);
    size_t n = strlen(buf);
    while (n > 0 && buf[n - 1] == '\n')
        buf[--n] = '\0';
    SLogger::warning("%s", buf);
}

// gzip of `in`; empty when zlib fails.
std::string gzipOf(const std::string& in) {
    z_stream z;
    memset(&z, 0, sizeof z);
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return "";
    std::string out(deflateBound(&z, in.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = reinterpret_cast<Bytef*>(&out[0]);
    z.avail_out = static_cast<uInt>(out.size());
    int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : "";
}

// Whether an Accept-Encoding value takes gzip (and not with q=0).
bool acceptsGzip(const char* header) {
    if (header == nullptr)
        return false;
    std::string h = header;
    size_t at = 0;
    while (at < h.size()) {
        size_t end = h.find(',', at);
        if (end == std::string::npos)
            end = h.size();
        std::string item = h.substr(at, end - at);
        at = end + 1;
        size_t b = item.find_first_not_of(" \t");
        if (b == std::string::npos)
            continue;
        item = item.substr(b);
        if (item.compare(0, 4, "gzip") != 0 ||
            (item.size() > 4 && item[4] != ';' && item[4] != ' '))
            continue;
        size_t q = item.find("q=");
        return q == std::string::npos || strtod(item.c_str() + q + 2, nullptr) > 0;
    }
    return false;
}

bool queue(MHD_Connection* c, unsigned int status, const std::string& body, const char* type,
           const char* encoding = nullptr) {
    MHD_Response* r = MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                                      MHD_RESPMEM_MUST_COPY);
    if (r == nullptr)
        return false;
    MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_TYPE, type);
    if (encoding != nullptr)
        MHD_add_response_header(r, MHD_HTTP_HEADER_CONTENT_ENCODING, encoding);
    MHD_add_response_header(r, MHD_HTTP_HEADER_VARY, "Accept-Encoding");
    bool ok = MHD_queue_response(c, status, r) == MHD_YES;
    MHD_destroy_response(r);
    return ok;
}

// [HOST]:PORT into an address: "" or "[::]" all addresses, a name resolved.
sockaddr_storage addressOf(const std::string& listen, socklen_t* length, bool* v6) {
    size_t colon = listen.rfind(':');
    if (colon == std::string::npos)
        throw std::runtime_error("--web.listen-address is not [HOST]:PORT: " + listen);
    std::string host = listen.substr(0, colon), port = listen.substr(colon + 1);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    char* end = nullptr;
    unsigned long p = strtoul(port.c_str(), &end, 10);
    if (port.empty() || *end != '\0' || p > 65535)
        throw std::runtime_error("--web.listen-address has no port 0-65535: " + listen);
    addrinfo hints{}, *found = nullptr;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    hints.ai_family = host.empty() ? AF_INET6 : AF_UNSPEC;
    int rc = getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0)
        throw std::runtime_error("--web.listen-address " + listen + ": " + gai_strerror(rc));
    sockaddr_storage a{};
    memcpy(&a, found->ai_addr, found->ai_addrlen);
    *length = found->ai_addrlen;
    *v6 = found->ai_family == AF_INET6;
    freeaddrinfo(found);
    return a;
}

}  // namespace

HttpServer::HttpServer(const Options& options, std::function<std::string()> metrics)
    : _options(options), _metrics(std::move(metrics)) {}

HttpServer::~HttpServer() {
    if (_daemon != nullptr)
        MHD_stop_daemon(_daemon);
}

void HttpServer::start() {
    socklen_t length = 0;
    bool v6 = false;
    sockaddr_storage address = addressOf(_options.listen, &length, &v6);
    unsigned int flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD |
                         MHD_USE_POLL | MHD_USE_ERROR_LOG;
    if (v6)
        flags |= MHD_USE_DUAL_STACK;
    bool tls = !_options.web.certPem.empty();
    if (tls)
        flags |= MHD_USE_TLS;
    uint16_t port = ntohs(v6 ? reinterpret_cast<sockaddr_in6*>(&address)->sin6_port
                             : reinterpret_cast<sockaddr_in*>(&address)->sin_port);
    if (tls)
        _daemon = MHD_start_daemon(
            flags, port, nullptr, nullptr, &handleRequest, this, MHD_OPTION_EXTERNAL_LOGGER,
            &logError, nullptr, MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_CONNECTION_LIMIT,
            static_cast<unsigned int>(_options.maxConnections), MHD_OPTION_CONNECTION_TIMEOUT,
            static_cast<unsigned int>(_options.idleSecs), MHD_OPTION_HTTPS_MEM_CERT,
            _options.web.certPem.c_str(), MHD_OPTION_HTTPS_MEM_KEY, _options.web.keyPem.c_str(),
            MHD_OPTION_END);
    else
        _daemon = MHD_start_daemon(
            flags, port, nullptr, nullptr, &handleRequest, this, MHD_OPTION_EXTERNAL_LOGGER,
            &logError, nullptr, MHD_OPTION_SOCK_ADDR, &address, MHD_OPTION_CONNECTION_LIMIT,
            static_cast<unsigned int>(_options.maxConnections), MHD_OPTION_CONNECTION_TIMEOUT,
            static_cast<unsigned int>(_options.idleSecs), MHD_OPTION_END);
    if (_daemon == nullptr)
        throw std::runtime_error("cannot listen on " + _options.listen +
                                 (errno ? std::string(": ") + strerror(errno) : ""));
}

int HttpServer::port() const {
    const MHD_DaemonInfo* info = MHD_get_daemon_info(_daemon, MHD_DAEMON_INFO_BIND_PORT);
    return info ? info->port : -1;
}

bool HttpServer::answer(MHD_Connection* c, const std::string& url, const std::string& method) {
    if (!_options.web.users.empty()) {
        char* password = nullptr;
        char* user = MHD_basic_auth_get_username_password(c, &password);
        bool ok = user != nullptr && password != nullptr && _options.web.allows(user, password);
        if (user)
            MHD_free(user);
        if (password)
            MHD_free(password);
        if (!ok) {
            std::string body = "Unauthorized\n";
            MHD_Response* r = MHD_create_response_from_buffer(
                body.size(), const_cast<char*>(body.data()), MHD_RESPMEM_MUST_COPY);
            if (r == nullptr)
                return false;
            bool queued = MHD_queue_basic_auth_fail_response(c, "tolmstat_exporter", r) == MHD_YES;
            MHD_destroy_response(r);
            return queued;
        }
    }
    if (method != "GET" && method != "HEAD")
        return queue(c, MHD_HTTP_METHOD_NOT_ALLOWED, "Method Not Allowed\n", "text/plain");
    if (url == _options.telemetryPath) {
        struct InFlight {
            std::atomic<int>& n;
            int now;
            explicit InFlight(std::atomic<int>& c) : n(c), now(++c) {}
            ~InFlight() { --n; }
        } inFlight(_inFlight);
        if (inFlight.now > _options.maxRequests)
            return queue(c, MHD_HTTP_SERVICE_UNAVAILABLE,
                         "Limit of concurrent requests reached (" +
                             std::to_string(_options.maxRequests) + "), try again later.\n",
                         "text/plain");
        std::string text = _metrics();
        if (acceptsGzip(
                MHD_lookup_connection_value(c, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING))) {
            std::string zipped = gzipOf(text);
            if (!zipped.empty())
                return queue(c, MHD_HTTP_OK, zipped, kTextFormat, "gzip");
        }
        return queue(c, MHD_HTTP_OK, text, kTextFormat);
    }
    if (url == "/")
        return queue(c, MHD_HTTP_OK,
                     "<html>\n<head><title>tolmstat exporter</title></head>\n<body>\n"
                     "<h1>tolmstat exporter</h1>\n<p>The statistics of this node's tolmstatsd "
                     "for Prometheus.</p>\n<p><a href=\"" +
                         _options.telemetryPath + "\">Metrics</a></p>\n</body>\n</html>\n",
                     "text/html; charset=utf-8");
    return queue(c, MHD_HTTP_NOT_FOUND, "Not Found\n", "text/plain");
}
