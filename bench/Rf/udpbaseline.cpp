// Plain UDP request/response loop, the baseline for the Rf figures: "echo PORT" answers
// every datagram with its own bytes; "ping HOST PORT COUNT SIZE WINDOW" keeps WINDOW requests
// of SIZE bytes outstanding (sending a lost one again after 200 ms) and prints the same
// figures as rfping. Both sockets get the same buffer sizes as an Rf endpoint.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The same request as the Rf endpoint's: two full windows of the largest datagram.
constexpr int kSocketBufferBytes = (2 * 64 * (9000 + 32) + 65535) / 65536 * 65536;
constexpr int kResendMs = 200;

int openSocket(uint16_t port) {
    int s = socket(AF_INET, SOCK_DGRAM, 0);
    int bytes = kSocketBufferBytes;
    if (setsockopt(s, SOL_SOCKET, SO_RCVBUFFORCE, &bytes, sizeof bytes) < 0) {
        setsockopt(s, SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
    }
    if (setsockopt(s, SOL_SOCKET, SO_SNDBUFFORCE, &bytes, sizeof bytes) < 0) {
        setsockopt(s, SOL_SOCKET, SO_SNDBUF, &bytes, sizeof bytes);
    }
    struct sockaddr_in addr;
    memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    bind(s, reinterpret_cast<struct sockaddr*>(&addr), sizeof addr);
    return s;
}

int echo(uint16_t port) {
    int s = openSocket(port);
    struct sockaddr_in addr;
    socklen_t len = sizeof addr;
    getsockname(s, reinterpret_cast<struct sockaddr*>(&addr), &len);
    printf("udpbaseline: port %u\n", ntohs(addr.sin_port));
    fflush(stdout);
    std::vector<uint8_t> buf(65536);
    for (;;) {
        struct sockaddr_in from;
        socklen_t fromLen = sizeof from;
        ssize_t n = recvfrom(s, buf.data(), buf.size(), 0,
                             reinterpret_cast<struct sockaddr*>(&from), &fromLen);
        if (n >= 0) {
            sendto(s, buf.data(), n, 0, reinterpret_cast<struct sockaddr*>(&from), fromLen);
        }
    }
}

using Clock = std::chrono::steady_clock;

int ping(const char* host, uint16_t port, long count, long size, long window) {
    int s = openSocket(0);
    struct sockaddr_in to;
    memset(&to, 0, sizeof to);
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    inet_pton(AF_INET, host, &to.sin_addr);
    if (size < 4) {
        size = 4;
    }
    std::vector<uint8_t> req(size), resp(65536);
    std::vector<Clock::time_point> sentAt(count);
    std::vector<bool> done(count, false);
    auto send = [&](uint32_t n) {
        memcpy(req.data(), &n, 4);
        for (long j = 4; j < size; j++) {
            req[j] = static_cast<uint8_t>(n + j);
        }
        sendto(s, req.data(), size, 0, reinterpret_cast<struct sockaddr*>(&to), sizeof to);
        sentAt[n] = Clock::now();
    };
    auto start = Clock::now();
    long next = 0, completed = 0, oldest = 0;
    while (next < count && next < window) {
        send(static_cast<uint32_t>(next++));
    }
    while (completed < count) {
        struct pollfd pfd = {s, POLLIN, 0};
        if (poll(&pfd, 1, 10) > 0) {
            ssize_t n = recv(s, resp.data(), resp.size(), 0);
            uint32_t number;
            if (n == size && (memcpy(&number, resp.data(), 4), number < count) && !done[number]) {
                done[number] = true;
                completed++;
                if (next < count) {
                    send(static_cast<uint32_t>(next++));
                }
            }
        }
        while (oldest < next && done[oldest]) {
            oldest++;
        }
        auto now = Clock::now();
        for (long i = oldest; i < next; i++) {
            if (!done[i] && now - sentAt[i] > std::chrono::milliseconds(kResendMs)) {
                send(static_cast<uint32_t>(i));
            }
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    printf("calls: %ld\nfailures: 0\nseconds: %.3f\ncalls/s: %.1f\nMB/s: %.3f\n", count, seconds,
           count / seconds, 2.0 * size * count / seconds / 1e6);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && strcmp(argv[1], "echo") == 0) {
        return echo(static_cast<uint16_t>(atoi(argv[2])));
    }
    if (argc == 7 && strcmp(argv[1], "ping") == 0) {
        return ping(argv[2], static_cast<uint16_t>(atoi(argv[3])), atol(argv[4]), atol(argv[5]),
                    atol(argv[6]));
    }
    fprintf(stderr, "usage: udpbaseline echo PORT | ping HOST PORT COUNT SIZE WINDOW\n");
    return 2;
}
