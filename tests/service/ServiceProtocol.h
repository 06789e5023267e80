// The local service's protocol as a client speaks it, built here straight from OpenSSL and
// nlohmann::json, so that neither side borrows the other's code: signatures and the DES payload
// form. Free of any test framework, so that benchmarks use it too.
#pragma once
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <openssl/des.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

namespace zvt::test::svc {

using nlohmann::json;

inline const std::string kSecret = "tarvelq@!586";
inline const std::string kJsonPath = "/api/client.php?m=";
inline const std::string kDesPath = "/index.php?mod=phone_api&act=";
inline const std::string kFormType = "application/x-www-form-urlencoded";

inline std::string md5Hex(const std::string& text) {
    unsigned char d[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    EVP_Digest(text.data(), text.size(), d, &n, EVP_md5(), nullptr);
    std::string out;
    char buf[3];
    for (unsigned i = 0; i < n; ++i) {
        std::snprintf(buf, sizeof buf, "%02x", d[i]);
        out += buf;
    }
    return out;
}

inline std::string base64(const std::string& bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(bytes.data()),
                            static_cast<int>(bytes.size()));
    out.resize(static_cast<size_t>(n));
    return out;
}

inline std::string unbase64(const std::string& text) {
    std::string out(text.size() / 4 * 3, '\0');
    int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                            reinterpret_cast<const unsigned char*>(text.data()),
                            static_cast<int>(text.size()));
    if (n < 0) return {};
    size_t pad =
        text.size() >= 2 ? (text[text.size() - 1] == '=') + (text[text.size() - 2] == '=') : 0;
    out.resize(static_cast<size_t>(n) - pad);
    return out;
}

inline std::string des(const std::string& data, bool encrypt) {
    DES_cblock key;
    std::memcpy(key, "@ZRMVKTQ", 8);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    std::string in = data;
    if (encrypt) in.append(8 - data.size() % 8, static_cast<char>(8 - data.size() % 8));
    std::string out(in.size(), '\0');
    for (size_t off = 0; off + 8 <= in.size(); off += 8) {
        DES_cblock a, b;
        std::memcpy(a, in.data() + off, 8);
        DES_ecb_encrypt(&a, &b, &schedule, encrypt ? DES_ENCRYPT : DES_DECRYPT);
        std::memcpy(out.data() + off, b, 8);
    }
    if (!encrypt) {
        size_t pad = out.empty() ? 0 : static_cast<unsigned char>(out.back());
        if (in.size() % 8 != 0 || pad < 1 || pad > 8) return {};
        out.resize(out.size() - pad);
    }
    return out;
}

inline std::string encipher(const std::string& text) {
    return base64(des(text, true));
}
inline std::string decipher(const std::string& text) {
    return des(unbase64(text), false);
}

// The enciphered request body: a JSON string literal of Base64 of DES of the text.
inline std::string encipheredText(const std::string& text) {
    return "\"" + encipher(text) + "\"";
}
inline std::string encipheredBody(const json& fields) {
    return encipheredText(fields.dump(2));
}

// `fields` signed with a time stamp the service handed out.
inline json signedWith(json fields, const std::string& time) {
    fields["time"] = time;
    fields["code"] = md5Hex(md5Hex(kSecret) + time);
    return fields;
}

}  // namespace zvt::test::svc
