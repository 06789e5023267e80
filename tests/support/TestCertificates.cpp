#include "tests/support/TestCertificates.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <fstream>
#include <memory>
#include <stdexcept>

namespace zvt::test {

namespace {

struct KeyDeleter {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertDeleter {
    void operator()(X509* x509) const { X509_free(x509); }
};
using Key = std::shared_ptr<EVP_PKEY>;
using Cert = std::shared_ptr<X509>;

constexpr long kDay = 24 * 60 * 60;

void require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(std::string("test certificate generation failed: ") + what);
}

Key newKey() {
    EVP_PKEY* key = EVP_EC_gen("P-256");
    require(key != nullptr, "key");
    return Key(key, KeyDeleter());
}

void addExtension(X509* cert, X509V3_CTX* ctx, int nid, const char* value) {
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, ctx, nid, value);
    require(extension != nullptr, value);
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

struct CertificateRecipe {
    std::string commonName;
    bool isCA = false;
    std::string subjectAltName;  // e.g. "DNS:localhost,IP:127.0.0.1"
    long notBefore = -kDay;      // seconds from now
    long notAfter = 365 * kDay;
    bool authorityKeyId = true;
};

Cert makeCertificate(const CertificateRecipe& recipe, const Key& subjectKey, X509* issuer, const Key& issuerKey) {
    X509* cert = X509_new();
    require(cert != nullptr, "certificate");
    Cert owned(cert, CertDeleter());
    X509_set_version(cert, 2);
    uint64_t serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    serial >>= 2;  // positive and non-zero
    ASN1_INTEGER_set_uint64(X509_get_serialNumber(cert), serial + 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), recipe.notBefore);
    X509_gmtime_adj(X509_getm_notAfter(cert), recipe.notAfter);
    X509_set_pubkey(cert, subjectKey.get());
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Zavelto Tests"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(recipe.commonName.c_str()), -1, -1, 0);
    X509* signer = issuer != nullptr ? issuer : cert;
    X509_set_issuer_name(cert, X509_get_subject_name(signer));

    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, signer, cert, nullptr, nullptr, 0);
    if (recipe.isCA) {
        addExtension(cert, &ctx, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(cert, &ctx, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(cert, &ctx, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(cert, &ctx, NID_key_usage, "critical,digitalSignature,keyEncipherment");
        addExtension(cert, &ctx, NID_ext_key_usage, "serverAuth");
    }
    addExtension(cert, &ctx, NID_subject_key_identifier, "hash");
    if (recipe.authorityKeyId && issuer != nullptr) addExtension(cert, &ctx, NID_authority_key_identifier, "keyid:always");
    if (!recipe.subjectAltName.empty()) addExtension(cert, &ctx, NID_subject_alt_name, recipe.subjectAltName.c_str());
    require(X509_sign(cert, issuerKey.get(), EVP_sha256()) > 0, "signature");
    return owned;
}

std::string toPEM(X509* cert) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_X509(bio, cert);
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<size_t>(length));
    BIO_free(bio);
    return pem;
}

std::string keyToPEM(EVP_PKEY* key) {
    BIO* bio = BIO_new(BIO_s_mem());
    PEM_write_bio_PrivateKey(bio, key, nullptr, nullptr, 0, nullptr, nullptr);
    char* data = nullptr;
    long length = BIO_get_mem_data(bio, &data);
    std::string pem(data, static_cast<size_t>(length));
    BIO_free(bio);
    return pem;
}

std::vector<uint8_t> toDER(X509* cert) {
    int length = i2d_X509(cert, nullptr);
    std::vector<uint8_t> der(static_cast<size_t>(length));
    unsigned char* out = der.data();
    i2d_X509(cert, &out);
    return der;
}

std::vector<uint8_t> publicKeyDER(EVP_PKEY* key) {
    int length = i2d_PUBKEY(key, nullptr);
    std::vector<uint8_t> der(static_cast<size_t>(length));
    unsigned char* out = der.data();
    i2d_PUBKEY(key, &out);
    return der;
}

TestCertificate describe(const std::string& name, const Cert& cert, const Key& key,
                         const std::vector<const TestCertificate*>& intermediates = {}) {
    TestCertificate result;
    result.name = name;
    result.der = toDER(cert.get());
    result.pem = toPEM(cert.get());
    result.keyPEM = keyToPEM(key.get());
    result.chainPEM = result.pem;
    for (const TestCertificate* intermediate : intermediates) {
        result.chainPEM += intermediate->pem;
        result.intermediatesDER.push_back(intermediate->der);
    }
    result.publicKeyDER = publicKeyDER(key.get());
    return result;
}

const char* const kLocalNames = "DNS:localhost,IP:127.0.0.1,IP:::1";

}  // namespace

TestCertificates::TestCertificates() {
    Key caKey = newKey();
    Cert caCert = makeCertificate({"Zavelto Test CA", true, "", -400 * kDay, 3650 * kDay, true}, caKey, nullptr, caKey);
    ca = describe("ca", caCert, caKey);

    Key intermediateKey = newKey();
    Cert intermediateCert = makeCertificate({"Zavelto Test Intermediate CA", true, "", -400 * kDay, 1825 * kDay, true},
                                            intermediateKey, caCert.get(), caKey);
    intermediate = describe("intermediate", intermediateCert, intermediateKey);

    Key localhostKey = newKey();
    localhost = describe("localhost",
                         makeCertificate({"localhost", false, kLocalNames, -kDay, 365 * kDay, true}, localhostKey,
                                         caCert.get(), caKey),
                         localhostKey);
    reissued = describe("reissued",
                        makeCertificate({"localhost", false, kLocalNames, -2 * kDay, 730 * kDay, true}, localhostKey,
                                        caCert.get(), caKey),
                        localhostKey);

    Key intermediateLeafKey = newKey();
    intermediateLeaf = describe("intermediate-leaf",
                                makeCertificate({"localhost", false, kLocalNames, -kDay, 365 * kDay, true},
                                                intermediateLeafKey, intermediateCert.get(), intermediateKey),
                                intermediateLeafKey, {&intermediate});

    Key wrongHostKey = newKey();
    wrongHost = describe("wrong-host",
                         makeCertificate({"wrong.example", false, "DNS:wrong.example", -kDay, 365 * kDay, true},
                                         wrongHostKey, caCert.get(), caKey),
                         wrongHostKey);

    Key expiredKey = newKey();
    expired = describe("expired",
                       makeCertificate({"localhost", false, kLocalNames, -60 * kDay, -30 * kDay, true}, expiredKey,
                                       caCert.get(), caKey),
                       expiredKey);

    Key selfSignedKey = newKey();
    selfSigned = describe("self-signed",
                          makeCertificate({"localhost", false, kLocalNames, -kDay, 365 * kDay, true}, selfSignedKey,
                                          nullptr, selfSignedKey),
                          selfSignedKey);

    // A look-alike of the test CA: same subject name, different key. Its leaf names its issuer
    // only by that name (no key identifier), as a forger would.
    Key forgedCAKey = newKey();
    Cert forgedCACert =
        makeCertificate({"Zavelto Test CA", true, "", -400 * kDay, 3650 * kDay, true}, forgedCAKey, nullptr, forgedCAKey);
    forgedCA = describe("forged-ca", forgedCACert, forgedCAKey);
    Key forgedLeafKey = newKey();
    forgedLeaf = describe("forged-leaf",
                          makeCertificate({"localhost", false, kLocalNames, -kDay, 365 * kDay, false}, forgedLeafKey,
                                          forgedCACert.get(), forgedCAKey),
                          forgedLeafKey);
}

const TestCertificates& TestCertificates::shared() {
    static const TestCertificates certificates;
    return certificates;
}

PEMFiles TestCertificates::writePEMFiles(const TestCertificate& certificate, const std::string& directory) {
    PEMFiles files{directory + "/" + certificate.name + ".crt", directory + "/" + certificate.name + "-chain.pem",
                   directory + "/" + certificate.name + ".key"};
    auto write = [](const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        require(static_cast<bool>(out), "writing a PEM file");
    };
    write(files.certificate, certificate.pem);
    write(files.chain, certificate.chainPEM);
    write(files.key, certificate.keyPEM);
    return files;
}

}  // namespace zvt::test
