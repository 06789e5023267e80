#pragma once
// X.509 certificates, made from their DER bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/security/SecBase.h"

struct x509_st;

class SecCertificate {
public:
    // Takes over one reference of `x509`; `der` is its encoding as read (computed when empty).
    explicit SecCertificate(x509_st* x509, std::vector<uint8_t> der = {});
    ~SecCertificate();
    SecCertificate(const SecCertificate&) = delete;
    SecCertificate& operator=(const SecCertificate&) = delete;

    // The OpenSSL certificate, owned by this object (valid while it lives).
    x509_st* x509() const { return x509_; }
    // The DER encoding, exactly as the certificate was read.
    const std::vector<uint8_t>& derData() const { return der_; }
    // Certificates are equal when their DER bytes are.
    bool isEqual(const SecCertificate& other) const { return der_ == other.der_; }

private:
    x509_st* x509_;
    std::vector<uint8_t> der_;
};

// A certificate from DER bytes; empty when the bytes are not exactly one DER certificate
// (trailing bytes are refused too).
SecCertificateRef SecCertificateCreateWithData(std::span<const uint8_t> der);
SecCertificateRef SecCertificateCreateWithData(const void* bytes, size_t length);

// The DER bytes of a certificate (empty for an empty reference).
std::vector<uint8_t> SecCertificateCopyData(const SecCertificateRef& certificate);

// A one-line human-readable summary: the subject's common name, else the whole subject.
std::string SecCertificateCopySubjectSummary(const SecCertificateRef& certificate);

namespace zvt {
// Does `issuer` name `subject`'s issuer and verify its signature? Only the one link is
// checked: no dates, no trust.
bool SecCertificateIsSignedBy(const SecCertificateRef& subject, const SecCertificateRef& issuer);
}  // namespace zvt
