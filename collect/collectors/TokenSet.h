#pragma once

#include <map>
#include <string>
#include <vector>

// The lines of a status file by their first token: each key maps to the
// further tokens of its line. The set owns the value vectors.
class TokenSet {
public:
    TokenSet() {}
    ~TokenSet();
    TokenSet(const TokenSet&) = delete;
    TokenSet& operator=(const TokenSet&) = delete;

    // The values stored under `key`, or null.
    const std::vector<std::string>* get(const std::string& key) const;
    const std::vector<std::string>* get(const char* key) const { return get(std::string(key)); }

    // A new, empty value list under `key`, replacing an earlier one.
    std::vector<std::string>* startKey(const std::string& key);
    size_t size() const { return _tokenmap.size(); }

private:
    std::map<std::string, std::vector<std::string>*> _tokenmap;
};
