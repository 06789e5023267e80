#include "tests/support/TestTLSClient.h"

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zvt::test {

namespace {

struct JudgeContext {
    const TLSJudge* judge;
    int calls = 0;
};

extern "C" int judgeCallback(X509_STORE_CTX* storeCtx, void* arg) {
    auto* context = static_cast<JudgeContext*>(arg);
    ++context->calls;
    try {
        return (*context->judge)(storeCtx) ? 1 : 0;
    } catch (...) {
        return 0;  // never unwind into OpenSSL
    }
}

bool isIPAddress(const std::string& name) {
    unsigned char buffer[16];
    return inet_pton(AF_INET, name.c_str(), buffer) == 1 || inet_pton(AF_INET6, name.c_str(), buffer) == 1;
}

}  // namespace

TLSHandshakeResult performTLSHandshake(uint16_t port, const std::string& serverName, const TLSJudge& judge) {
    TLSHandshakeResult result;
    // OpenSSL writes through plain write(): a peer that hangs up on a refused handshake must
    // not kill the test process, on either end.
    std::signal(SIGPIPE, SIG_IGN);
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return result;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return result;
    }
    result.connected = true;

    SSL_CTX* ctx = SSL_CTX_new(TLS_client_method());
    JudgeContext context{&judge};
    // VERIFY_PEER: with VERIFY_NONE OpenSSL would go on whatever the judge said.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
    SSL_CTX_set_cert_verify_callback(ctx, judgeCallback, &context);
    SSL* ssl = SSL_new(ctx);
    SSL_set_fd(ssl, fd);
    if (!serverName.empty() && !isIPAddress(serverName)) SSL_set_tlsext_host_name(ssl, serverName.c_str());
    result.completed = SSL_connect(ssl) == 1;
    if (result.completed) SSL_shutdown(ssl);
    SSL_free(ssl);
    SSL_CTX_free(ctx);
    ERR_clear_error();
    ::close(fd);
    result.judgeCalls = context.calls;
    return result;
}

}  // namespace zvt::test
