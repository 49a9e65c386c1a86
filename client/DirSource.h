#pragma once

#include <cstdio>
#include <string>

#include "TreeSource.h"

// A dump tree as the daemon's signal dump writes it: DIR/tolmstats/STAMP/
// RECORD (see TreeSource for how it is read).
class DirSource : public TreeSource {
  public:
    // `dumpDir`: the directory given to the daemon's --dumpdir. Throws
    // SourceError when DIR/tolmstats cannot be listed.
    explicit DirSource(const std::string& dumpDir, FILE* warnings = stderr);

    std::string where() const override { return _tree; }

  protected:
    std::vector<std::string> listTop() override;
    int openFile(const std::string& dir, const std::string& name, std::string* why) override;
    std::string pathOf(const std::string& dir, const std::string& name) const override;

  private:
    std::string _tree;
};
