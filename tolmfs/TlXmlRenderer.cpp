#include "TlXmlRenderer.h"

#include <cstring>

TlXmlRenderer::TlXmlRenderer(TlFile* file) : _sz(file, 4096) {}

TlXmlRenderer::~TlXmlRenderer() = default;

void TlXmlRenderer::close() {
    _sz.close();
}

void TlXmlRenderer::out(const std::string& s) {
    out(s.c_str());
}

void TlXmlRenderer::out(const char* s) {
    _sz.writeBuffer(reinterpret_cast<unsigned char*>(const_cast<char*>(s)),
                    static_cast<int>(strlen(s)));
}
