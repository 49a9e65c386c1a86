#pragma once

#include <string>

#include "TlSerializer.h"
#include "XmlRenderer.h"

class TlFile;

// An XmlRenderer whose text goes into a file of the cluster file system
// through a TlSerializer of 4096 bytes. `close` flushes it; the destructor
// does not.
class TlXmlRenderer : public XmlRenderer {
  public:
    explicit TlXmlRenderer(TlFile* file);
    ~TlXmlRenderer() override;

    void close() override;
    void out(const std::string& s) override;
    void out(const char* s) override;
    // After close: cuts the file to what was written (a file written again).
    void cutToWritten() { _sz.cutToWritten(); }

  private:
    TlSerializer _sz;
};
