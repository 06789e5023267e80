#pragma once
// Trust policies: what an evaluation checks beyond the signature chain and validity dates.

#include <optional>
#include <string>

#include "platform/security/SecBase.h"

class SecPolicy {
public:
    enum class Kind { BasicX509, SSL };

    // Without a host name, or with one. (No constructor moves a whole optional string: GCC 12
    // warns that an empty one's string "may be used uninitialized" in optimised sanitizer builds.)
    SecPolicy(Kind kind, bool server) : kind_(kind), server_(server) {}
    SecPolicy(Kind kind, bool server, std::string hostname)
        : kind_(kind), server_(server), hostname_(std::in_place, std::move(hostname)) {}

    Kind kind() const { return kind_; }
    // For SSL policies: true for a server certificate (serverAuth), false for a client one.
    bool server() const { return server_; }
    // For SSL policies: the name (DNS name or IP address text) the leaf must carry;
    // no name check when absent.
    const std::optional<std::string>& hostname() const { return hostname_; }

private:
    Kind kind_;
    bool server_;
    std::optional<std::string> hostname_;
};

// Chain, signatures and validity dates only.
SecPolicyRef SecPolicyCreateBasicX509();
// Additionally the TLS key purpose and, when a host name is given, the name: DNS names are
// matched against the subjectAltName entries (whole-label wildcards only), IP address text
// against the IP address entries.
SecPolicyRef SecPolicyCreateSSL(bool server, std::optional<std::string> hostname);
