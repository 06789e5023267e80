#pragma once
// Where URL loading meets the Security stand-in: turning the chain a TLS peer presented
// into a trust, and the process-wide set of system anchors.
//
// How a TLS client judges a server with it: keep OpenSSL's verify mode at SSL_VERIFY_PEER
// (with SSL_VERIFY_NONE OpenSSL ignores the verdict below) and install
// SSL_CTX_set_cert_verify_callback. In that callback, on the connection's own thread, build
// the trust with zvt::SecTrustCreateWithPeerChain(storeCtx, host), raise the server-trust
// challenge synchronously and return 1 to go on with the handshake or 0 to refuse it. The
// callback must not let a C++ exception escape into OpenSSL.

#include <optional>
#include <string>
#include <vector>

#include "platform/security/SecTrust.h"

struct x509_st;
struct x509_store_ctx_st;
struct stack_st_X509;

namespace zvt {

// A certificate sharing (up-referencing) an OpenSSL certificate.
SecCertificateRef SecCertificateCreateWithX509(x509_st* x509);

// The chain presented by the peer, leaf first, in the order it was sent.
std::vector<SecCertificateRef> SecCertificatesFromPeerChain(x509_store_ctx_st* storeCtx);
std::vector<SecCertificateRef> SecCertificatesFromStack(stack_st_X509* chain);

// A trust over the presented chain with one SSL server policy for `host` (no name check
// when absent). Empty when the context holds no certificate.
SecTrustRef SecTrustCreateWithPeerChain(x509_store_ctx_st* storeCtx,
                                        std::optional<std::string> host);

// The system anchors: by default every certificate of the ca-certificates bundle
// ("/etc/ssl/certs/ca-certificates.crt", else the hashed directory "/etc/ssl/certs").
// Installing a set replaces them process-wide (as a device administrator installs a root);
// std::nullopt goes back to the bundle. Evaluations already running keep the set they began
// with.
void SecTrustSetSystemAnchorCertificates(std::optional<std::vector<SecCertificateRef>> anchors);
std::vector<SecCertificateRef> SecTrustCopySystemAnchorCertificates();

}  // namespace zvt
