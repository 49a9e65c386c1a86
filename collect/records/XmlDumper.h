#pragma once

#include <cstdio>
#include <string>

#include "XmlRenderer.h"

// An XmlRenderer that writes into a local file. A file that cannot be opened
// yields no document and no message.
class XmlDumper : public XmlRenderer {
public:
    explicit XmlDumper(std::string& path);
    ~XmlDumper() override;

    void out(const std::string& s) override;
    void out(const char* s) override;

private:
    FILE* _pFile;
};
