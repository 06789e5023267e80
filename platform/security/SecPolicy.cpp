#include "platform/security/SecPolicy.h"

#include <memory>

SecPolicyRef SecPolicyCreateBasicX509() {
    return std::make_shared<SecPolicy>(SecPolicy::Kind::BasicX509, false);
}

SecPolicyRef SecPolicyCreateSSL(bool server, std::optional<std::string> hostname) {
    if (!hostname) return std::make_shared<SecPolicy>(SecPolicy::Kind::SSL, server);
    return std::make_shared<SecPolicy>(SecPolicy::Kind::SSL, server, std::move(*hostname));
}
