#pragma once

#include <map>
#include <string>

// The web configuration file of Prometheus' exporters (exporter-toolkit):
//   tls_server_config:
//     cert_file: PATH     # PEM, read relative to the file's directory
//     key_file: PATH
//   basic_auth_users:
//     NAME: BCRYPT_HASH   # htpasswd -nBC 10 NAME
// Either part may be left out; an empty file changes nothing.
struct WebConfig {
    std::string certPem, keyPem;               // empty: plain HTTP
    std::map<std::string, std::string> users;  // empty: no authentication

    // Reads and checks FILE; throws std::runtime_error naming the file and
    // what is wrong with it (an unknown key among them).
    static WebConfig load(const std::string& file);
    // Whether `password` matches the user's hash (crypt(3); bcrypt "$2y$",
    // "$2b$", "$2a$", and any other scheme libcrypt knows).
    bool allows(const std::string& user, const std::string& password) const;
};
