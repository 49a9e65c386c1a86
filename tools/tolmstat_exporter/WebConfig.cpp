#include "WebConfig.h"

#include <crypt.h>
#include <yaml-cpp/yaml.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace {

std::string slurp(const std::string& path, const std::string& what) {
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error("cannot read " + what + " " + path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void onlyKeys(const YAML::Node& node, std::initializer_list<const char*> keys,
              const std::string& where) {
    for (const auto& kv : node) {
        std::string k = kv.first.as<std::string>();
        bool known = false;
        for (const char* key : keys)
            known = known || k == key;
        if (!known)
            throw std::runtime_error(where + ": unknown key " + k);
    }
}

}  // namespace

WebConfig WebConfig::load(const std::string& file) {
    WebConfig c;
    YAML::Node root;
    try {
        root = YAML::LoadFile(file);
    } catch (const YAML::Exception& e) {
        throw std::runtime_error(file + ": " + e.what());
    }
    if (root.IsNull())
        return c;
    if (!root.IsMap())
        throw std::runtime_error(file + ": not a mapping");
    std::string dir = file.find('/') == std::string::npos ? "." : file.substr(0, file.rfind('/'));
    auto relative = [&](const std::string& p) {
        return p.empty() || p[0] == '/' ? p : dir + "/" + p;
    };
    try {
        onlyKeys(root, {"tls_server_config", "basic_auth_users", "http_server_config"}, file);
        if (const YAML::Node tls = root["tls_server_config"]) {
            onlyKeys(tls,
                     {"cert_file", "key_file", "client_auth_type", "min_version", "max_version",
                      "cipher_suites", "prefer_server_cipher_suites", "curve_preferences",
                      "client_ca_file"},
                     file + ": tls_server_config");
            std::string cert = tls["cert_file"] ? tls["cert_file"].as<std::string>() : "";
            std::string key = tls["key_file"] ? tls["key_file"].as<std::string>() : "";
            if (cert.empty() || key.empty())
                throw std::runtime_error(file + ": tls_server_config needs cert_file and key_file");
            c.certPem = slurp(relative(cert), "certificate");
            c.keyPem = slurp(relative(key), "key");
        }
        if (const YAML::Node users = root["basic_auth_users"]) {
            if (!users.IsMap())
                throw std::runtime_error(file + ": basic_auth_users is not a mapping");
            for (const auto& kv : users)
                c.users[kv.first.as<std::string>()] = kv.second.as<std::string>();
        }
    } catch (const YAML::Exception& e) {
        throw std::runtime_error(file + ": " + e.what());
    }
    return c;
}

bool WebConfig::allows(const std::string& user, const std::string& password) const {
    auto it = users.find(user);
    if (it == users.end() || it->second.empty())
        return false;
    auto data = std::make_unique<crypt_data>();
    data->initialized = 0;
    const char* out = crypt_r(password.c_str(), it->second.c_str(), data.get());
    // A failed crypt gives null or a string that starts with '*'.
    if (out == nullptr || out[0] == '*')
        return false;
    // Compared in time that does not depend on where they differ.
    const std::string& want = it->second;
    size_t n = strlen(out);
    unsigned char diff = n == want.size() ? 0 : 1;
    for (size_t i = 0; i < n && i < want.size(); i++)
        diff |= static_cast<unsigned char>(out[i] ^ want[i]);
    return diff == 0;
}
