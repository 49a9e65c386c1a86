#include "TokenSet.h"

TokenSet::~TokenSet() {
    for (auto& e : _tokenmap) delete e.second;
}

const std::vector<std::string>* TokenSet::get(const std::string& key) const {
    auto it = _tokenmap.find(key);
    return it == _tokenmap.end() ? nullptr : it->second;
}

std::vector<std::string>* TokenSet::startKey(const std::string& key) {
    std::vector<std::string>*& slot = _tokenmap[key];
    delete slot;
    slot = new std::vector<std::string>();
    return slot;
}
