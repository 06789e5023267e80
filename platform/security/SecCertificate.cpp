#include "platform/security/SecCertificate.h"

#include <openssl/err.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include "platform/security/SecKey.h"
#include "platform/security/SecTrust.h"

namespace {

std::vector<uint8_t> encode(X509* x509) {
    int length = i2d_X509(x509, nullptr);
    if (length <= 0) return {};
    std::vector<uint8_t> der(static_cast<size_t>(length));
    unsigned char* out = der.data();
    i2d_X509(x509, &out);
    return der;
}

}  // namespace

SecCertificate::SecCertificate(x509_st* x509, std::vector<uint8_t> der)
    : x509_(x509), der_(der.empty() ? encode(x509) : std::move(der)) {}

SecCertificate::~SecCertificate() { X509_free(x509_); }

SecCertificateRef SecCertificateCreateWithData(std::span<const uint8_t> der) {
    if (der.empty()) return nullptr;
    const unsigned char* in = der.data();
    X509* x509 = d2i_X509(nullptr, &in, static_cast<long>(der.size()));
    if (x509 == nullptr) return nullptr;
    // Exactly one certificate: bytes after it mean the data is something else.
    if (in != der.data() + der.size()) {
        X509_free(x509);
        return nullptr;
    }
    return std::make_shared<SecCertificate>(x509, std::vector<uint8_t>(der.begin(), der.end()));
}

SecCertificateRef SecCertificateCreateWithData(const void* bytes, size_t length) {
    if (bytes == nullptr) return nullptr;
    return SecCertificateCreateWithData(std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), length));
}

std::vector<uint8_t> SecCertificateCopyData(const SecCertificateRef& certificate) {
    if (!certificate) return {};
    return certificate->derData();
}

std::string SecCertificateCopySubjectSummary(const SecCertificateRef& certificate) {
    if (!certificate) return {};
    X509_NAME* subject = X509_get_subject_name(certificate->x509());
    if (subject == nullptr) return {};
    int index = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (index >= 0) {
        ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, index));
        unsigned char* utf8 = nullptr;
        int length = ASN1_STRING_to_UTF8(&utf8, data);
        if (length >= 0) {
            std::string text(reinterpret_cast<char*>(utf8), static_cast<size_t>(length));
            OPENSSL_free(utf8);
            return text;
        }
    }
    char* line = X509_NAME_oneline(subject, nullptr, 0);
    if (line == nullptr) return {};
    std::string text(line);
    OPENSSL_free(line);
    return text;
}

SecKeyRef SecCertificateCopyKey(const SecCertificateRef& certificate) {
    if (!certificate) return nullptr;
    EVP_PKEY* key = X509_get_pubkey(certificate->x509());
    if (key == nullptr) return nullptr;
    auto result = std::make_shared<SecKey>(key);
    if (result->publicKeyData().empty()) return nullptr;
    return result;
}

namespace zvt {

bool SecCertificateIsSignedBy(const SecCertificateRef& subject, const SecCertificateRef& issuer) {
    if (!subject || !issuer) return false;
    if (X509_check_issued(issuer->x509(), subject->x509()) != X509_V_OK) return false;
    EVP_PKEY* key = X509_get0_pubkey(issuer->x509());
    bool signedByIssuer = key != nullptr && X509_verify(subject->x509(), key) == 1;
    ERR_clear_error();
    return signedByIssuer;
}

}  // namespace zvt
