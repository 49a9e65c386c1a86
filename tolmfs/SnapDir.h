#pragma once

#include <string>

class TlDirectory;
class TlSerializer;
class TlXmlRenderer;

// One timestamp directory of the statistics volume, holding a reference on
// its TlDirectory (copies share it).
class SnapDir {
  public:
    explicit SnapDir(TlDirectory* dir);
    SnapDir(const SnapDir& other);
    SnapDir& operator=(const SnapDir& other);
    ~SnapDir();

    // A new serializer (4096-byte buffer) on file `name` of the directory,
    // made when missing; the caller closes and deletes it. Throws
    // SerializationException("failed to create file DIR/NAME", status).
    TlSerializer* getSerializer(const std::string& name);
    TlXmlRenderer* getXmlRenderer(const std::string& name);

    TlDirectory* directory() const { return _pDir; }

  private:
    TlDirectory* _pDir;
};
