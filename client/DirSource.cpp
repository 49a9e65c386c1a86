#include "DirSource.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

DirSource::DirSource(const std::string& dumpDir, FILE* warnings)
    : TreeSource(warnings), _tree(dumpDir + "/tolmstats") {
    DIR* d = opendir(_tree.c_str());
    if (!d)
        throw SourceError("tolmstat: cannot list " + _tree + ": " + strerror(errno));
    closedir(d);
}

std::vector<std::string> DirSource::listTop() {
    DIR* d = opendir(_tree.c_str());
    if (!d)
        throw SourceError("tolmstat: cannot list " + _tree + ": " + strerror(errno));
    std::vector<std::string> names;
    while (dirent* e = readdir(d))
        names.push_back(e->d_name);
    closedir(d);
    return names;
}

int DirSource::openFile(const std::string& dir, const std::string& name, std::string* why) {
    int fd = ::open(pathOf(dir, name).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 && errno != ENOENT)
        *why = strerror(errno);
    return fd;
}

std::string DirSource::pathOf(const std::string& dir, const std::string& name) const {
    return name.empty() ? _tree + "/" + dir : _tree + "/" + dir + "/" + name;
}
