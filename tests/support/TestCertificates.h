#pragma once
// TLS certificates for tests, made at run time through OpenSSL (EC P-256 keys), once per
// process. A test CA issues the leaves; an intermediate CA issues one more leaf; a
// look-alike CA (same subject name as the test CA, another key) issues a forged leaf.
//
//   ca               "Zavelto Test CA", self-signed root
//   intermediate     "Zavelto Test Intermediate CA", issued by ca
//   localhost        leaf for localhost, 127.0.0.1 and ::1, issued by ca
//   reissued         like localhost with the same key pair, a new serial and dates
//   intermediateLeaf leaf for localhost and 127.0.0.1, issued by intermediate
//   wrongHost        leaf for "wrong.example", issued by ca
//   expired          leaf for localhost and 127.0.0.1 whose validity ended 30 days ago
//   selfSigned       self-signed leaf for localhost and 127.0.0.1
//   forgedCA         self-signed, the subject name of ca but a key of its own
//   forgedLeaf       leaf for localhost and 127.0.0.1 issued by forgedCA
//
// Each entry has its certificate (DER and PEM), its private key (PEM) and the chain a server
// sends (PEM: the certificate followed by its issuing intermediates, never the root).

#include <cstdint>
#include <string>
#include <vector>

namespace zvt::test {

struct TestCertificate {
    std::string name;
    std::vector<uint8_t> der;
    std::string pem;
    std::string keyPEM;
    std::string chainPEM;
    // DER of the certificates a server presents after the leaf (the intermediates).
    std::vector<std::vector<uint8_t>> intermediatesDER;
    // The SubjectPublicKeyInfo DER bytes.
    std::vector<uint8_t> publicKeyDER;
};

struct PEMFiles {
    std::string certificate;  // the certificate alone
    std::string chain;        // certificate + intermediates
    std::string key;
};

class TestCertificates {
public:
    static const TestCertificates& shared();

    TestCertificate ca, intermediate, localhost, reissued, intermediateLeaf, wrongHost, expired, selfSigned,
        forgedCA, forgedLeaf;

    // Writes <name>.crt, <name>-chain.pem and <name>.key into `directory` (which must exist).
    static PEMFiles writePEMFiles(const TestCertificate& certificate, const std::string& directory);

private:
    TestCertificates();
};

}  // namespace zvt::test
