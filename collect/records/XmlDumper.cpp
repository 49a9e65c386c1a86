#include "XmlDumper.h"

#include <unistd.h>

#include <cerrno>

namespace {

constexpr size_t kDrainAt = 65536;

}  // namespace

XmlDumper::XmlDumper(std::string& path) : _pFile(fopen(path.c_str(), "w")) {}

XmlDumper::XmlDumper(int fd) : _fd(fd) {}

XmlDumper::~XmlDumper() {
    if (_pFile)
        fclose(_pFile);
}

void XmlDumper::out(const std::string& s) {
    out(s.c_str());
}

void XmlDumper::out(const char* s) {
    if (_pFile) {
        fputs(s, _pFile);
        return;
    }
    if (_fd < 0 || _error != 0)
        return;
    _pending += s;
    if (_pending.size() >= kDrainAt)
        drain();
}

void XmlDumper::drain() {
    size_t done = 0;
    while (done < _pending.size() && _error == 0) {
        ssize_t n = ::write(_fd, _pending.data() + done, _pending.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            _error = n < 0 ? errno : ENOSPC;
        else
            done += static_cast<size_t>(n);
    }
    _pending.clear();
}

int XmlDumper::flush() {
    if (_fd >= 0 && _error == 0)
        drain();
    return _error;
}
