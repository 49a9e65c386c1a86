#include "XmlDumper.h"

XmlDumper::XmlDumper(std::string& path) : _pFile(fopen(path.c_str(), "w")) {}

XmlDumper::~XmlDumper() {
    if (_pFile) fclose(_pFile);
}

void XmlDumper::out(const std::string& s) { out(s.c_str()); }

void XmlDumper::out(const char* s) {
    if (_pFile) fputs(s, _pFile);
}
