#include "SnapDir.h"

#include "SerializationException.h"
#include "TlDirectory.h"
#include "TlFile.h"
#include "TlSerializer.h"
#include "TlXmlRenderer.h"

namespace {

TlFile* openFile(TlDirectory* dir, const std::string& name) {
    TlFile* file = nullptr;
    uint32_t st = dir->getFile(name.c_str(), true, &file);
    if (st != 0)
        throw SerializationException("failed to create file " + dir->getPath() + "/" + name, st);
    return file;
}

}  // namespace

SnapDir::SnapDir(TlDirectory* dir) : _pDir(dir) {
    _pDir->addRef();
}

SnapDir::SnapDir(const SnapDir& other) : _pDir(other._pDir) {
    _pDir->addRef();
}

SnapDir& SnapDir::operator=(const SnapDir& other) {
    if (this == &other)
        return *this;
    _pDir->release();
    _pDir = other._pDir;
    _pDir->addRef();
    return *this;
}

SnapDir::~SnapDir() {
    _pDir->release();
}

TlSerializer* SnapDir::getSerializer(const std::string& name) {
    TlFile* file = openFile(_pDir, name);
    TlSerializer* s = new TlSerializer(file, 4096);
    file->release();
    return s;
}

TlXmlRenderer* SnapDir::getXmlRenderer(const std::string& name) {
    TlFile* file = openFile(_pDir, name);
    TlXmlRenderer* r = new TlXmlRenderer(file);
    file->release();
    return r;
}
