#pragma once

#include <cstdio>
#include <string>

#include "XmlRenderer.h"

// An XmlRenderer that writes into a local file: one opened by path (a file
// that cannot be opened yields no document and no message), or a descriptor
// the caller opened and closes, written through a buffer with every write
// checked.
class XmlDumper : public XmlRenderer {
public:
    explicit XmlDumper(std::string& path);
    explicit XmlDumper(int fd);
    ~XmlDumper() override;

    void out(const std::string& s) override;
    void out(const char* s) override;
    // Descriptor mode: writes what is buffered; 0, or the errno of the first
    // write that failed (ENOSPC for one that wrote nothing).
    int flush();

private:
    void drain();

    FILE* _pFile = nullptr;
    int _fd = -1;
    std::string _pending;
    int _error = 0;
};
