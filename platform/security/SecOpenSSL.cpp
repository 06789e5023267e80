#include "platform/security/SecOpenSSL.h"

#include <dirent.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>

namespace zvt {

namespace {

const char* const kSystemBundle = "/etc/ssl/certs/ca-certificates.crt";
const char* const kSystemDirectory = "/etc/ssl/certs";

void readPEMFile(const std::string& path, std::vector<SecCertificateRef>& into) {
    BIO* bio = BIO_new_file(path.c_str(), "r");
    if (bio == nullptr) return;
    while (X509* x509 = PEM_read_bio_X509(bio, nullptr, nullptr, nullptr)) {
        auto certificate = std::make_shared<SecCertificate>(x509);
        if (!certificate->derData().empty()) into.push_back(std::move(certificate));
    }
    BIO_free(bio);
}

std::vector<SecCertificateRef> loadSystemAnchors() {
    std::vector<SecCertificateRef> anchors;
    readPEMFile(kSystemBundle, anchors);
    if (anchors.empty()) {
        // No bundle: every certificate file of the directory.
        if (DIR* dir = opendir(kSystemDirectory)) {
            std::vector<std::string> names;
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                auto endsWith = [&](const char* suffix) {
                    size_t n = std::strlen(suffix);
                    return name.size() > n && name.compare(name.size() - n, n, suffix) == 0;
                };
                if (endsWith(".pem") || endsWith(".crt")) names.push_back(name);
            }
            closedir(dir);
            std::sort(names.begin(), names.end());
            for (const auto& name : names) readPEMFile(std::string(kSystemDirectory) + "/" + name, anchors);
        }
        // The same root is often there under two names.
        std::vector<SecCertificateRef> unique;
        for (auto& anchor : anchors) {
            bool seen = std::any_of(unique.begin(), unique.end(),
                                    [&](const SecCertificateRef& other) { return other->isEqual(*anchor); });
            if (!seen) unique.push_back(std::move(anchor));
        }
        anchors = std::move(unique);
    }
    ERR_clear_error();
    return anchors;
}

std::mutex anchorsMutex;
std::shared_ptr<const std::vector<SecCertificateRef>> installedAnchors;  // guarded by anchorsMutex

std::shared_ptr<const std::vector<SecCertificateRef>> bundleAnchors() {
    static const auto bundle = std::make_shared<const std::vector<SecCertificateRef>>(loadSystemAnchors());
    return bundle;
}

}  // namespace

SecCertificateRef SecCertificateCreateWithX509(x509_st* x509) {
    if (x509 == nullptr || X509_up_ref(x509) != 1) return nullptr;
    auto certificate = std::make_shared<SecCertificate>(x509);
    if (certificate->derData().empty()) return nullptr;
    return certificate;
}

std::vector<SecCertificateRef> SecCertificatesFromStack(stack_st_X509* chain) {
    std::vector<SecCertificateRef> certificates;
    if (chain == nullptr) return certificates;
    for (int i = 0; i < sk_X509_num(chain); ++i) {
        if (auto certificate = SecCertificateCreateWithX509(sk_X509_value(chain, i))) {
            certificates.push_back(std::move(certificate));
        }
    }
    return certificates;
}

std::vector<SecCertificateRef> SecCertificatesFromPeerChain(x509_store_ctx_st* storeCtx) {
    std::vector<SecCertificateRef> certificates;
    if (storeCtx == nullptr) return certificates;
    X509* leaf = X509_STORE_CTX_get0_cert(storeCtx);
    auto leafCertificate = SecCertificateCreateWithX509(leaf);
    if (!leafCertificate) return certificates;
    certificates.push_back(leafCertificate);
    // The untrusted stack is what the peer sent, usually with the leaf again at its head.
    for (auto& certificate : SecCertificatesFromStack(X509_STORE_CTX_get0_untrusted(storeCtx))) {
        if (certificate->isEqual(*leafCertificate) && certificates.size() == 1) continue;
        certificates.push_back(std::move(certificate));
    }
    return certificates;
}

SecTrustRef SecTrustCreateWithPeerChain(x509_store_ctx_st* storeCtx, std::optional<std::string> host) {
    auto certificates = SecCertificatesFromPeerChain(storeCtx);
    if (certificates.empty()) return nullptr;
    SecTrustRef trust;
    if (SecTrustCreateWithCertificates(certificates, {SecPolicyCreateSSL(true, std::move(host))}, &trust) !=
        errSecSuccess) {
        return nullptr;
    }
    return trust;
}

void SecTrustSetSystemAnchorCertificates(std::optional<std::vector<SecCertificateRef>> anchors) {
    std::shared_ptr<const std::vector<SecCertificateRef>> installed;
    if (anchors) {
        anchors->erase(std::remove(anchors->begin(), anchors->end(), nullptr), anchors->end());
        installed = std::make_shared<const std::vector<SecCertificateRef>>(std::move(*anchors));
    }
    std::lock_guard lock(anchorsMutex);
    installedAnchors = std::move(installed);
}

std::vector<SecCertificateRef> SecTrustCopySystemAnchorCertificates() {
    std::shared_ptr<const std::vector<SecCertificateRef>> anchors;
    {
        std::lock_guard lock(anchorsMutex);
        anchors = installedAnchors;
    }
    if (!anchors) anchors = bundleAnchors();
    return *anchors;
}

}  // namespace zvt
