#pragma once
// One TLS handshake with a server on 127.0.0.1, as a client that judges the server itself:
// OpenSSL's own verification is replaced by `judge`, called during the handshake on the
// calling thread with the verify context (the chain the server presented); its answer
// decides whether the handshake completes.

#include <cstdint>
#include <functional>
#include <string>

struct x509_store_ctx_st;

namespace zvt::test {

using TLSJudge = std::function<bool(x509_store_ctx_st* storeCtx)>;

struct TLSHandshakeResult {
    bool connected = false;  // the TCP connection was made
    bool completed = false;  // the handshake completed
    int judgeCalls = 0;
};

// `serverName` goes out as SNI unless it is an IP address.
TLSHandshakeResult performTLSHandshake(uint16_t port, const std::string& serverName, const TLSJudge& judge);

}  // namespace zvt::test
