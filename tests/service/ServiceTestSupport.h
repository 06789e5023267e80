// Requests to the local service built here straight from OpenSSL and nlohmann::json, so that
// neither side borrows the other's code: signatures, the DES payload form, a fixture that
// signs and sends, and raw connections for requests no client would send.
#pragma once
#define OPENSSL_SUPPRESS_DEPRECATED 1

#include <gtest/gtest.h>
#include <openssl/des.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/ServiceProcess.h"

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

// "[[[...]]]" nested `depth` levels.
inline std::string nestedArrays(size_t depth) {
    return std::string(depth, '[') + std::string(depth, ']');
}

// Signed calls to one running service.
class ServiceCalls {
public:
    explicit ServiceCalls(const ServiceProcess& service) : service_(service) {}

    // `headers` may hold a Cookie or a Host of the caller's choosing.
    json post(const std::string& target, const std::string& body, const std::string& type,
              const std::string& cookie = "", int* status = nullptr,
              std::vector<std::pair<std::string, std::string>> headers = {}) const {
        if (!cookie.empty()) headers.emplace_back("Cookie", cookie);
        auto r = service_.request("POST", target, body, type, headers);
        if (status) *status = r.status;
        return json::parse(r.body, nullptr, false);
    }

    std::string jsonTime() const {
        json reply = post(kJsonPath + "get_time", json{{"code", md5Hex(md5Hex(kSecret))}}.dump(),
                          "application/json");
        return reply.value("time", "");
    }

    std::string desTime() const {
        json reply = post(kDesPath + "get_time",
                          encipheredBody({{"code", md5Hex(md5Hex(kSecret))}}), kFormType);
        json data = json::parse(decipher(reply.value("data", "")), nullptr, false);
        return data.is_object() ? data.value("time", "") : "";
    }

    json signedJson(const std::string& op, const json& fields,
                    const std::string& cookie = "") const {
        return post(kJsonPath + op, signedWith(fields, jsonTime()).dump(), "application/json",
                    cookie);
    }

    json signedDes(const std::string& op, const json& fields, std::string* rawData = nullptr,
                   const std::string& cookie = "",
                   const std::vector<std::pair<std::string, std::string>>& headers = {}) const {
        json reply = post(kDesPath + op, encipheredBody(signedWith(fields, desTime())), kFormType,
                          cookie, nullptr, headers);
        if (rawData && reply.contains("data") && reply["data"].is_string())
            *rawData = reply["data"];
        return reply;
    }

    // Logs in and returns the session cookie ("ZVTSESSID=...") for the Cookie header.
    std::string login(const std::string& user, const std::string& password) const {
        json reply = signedDes("login", {{"userName", user}, {"password", password}});
        EXPECT_EQ(reply["code"], 101) << reply.dump();
        return reply.contains("setCookie")
                   ? "ZVTSESSID=" + reply["setCookie"]["value"].get<std::string>()
                   : "";
    }

    json lastLog(const std::string& op) const {
        json log = json::parse(service_.requestLog(op));
        return log.empty() ? json() : log.back();
    }

private:
    const ServiceProcess& service_;
};

class ServiceTest : public ::testing::Test, protected ServiceCalls {
protected:
    ServiceTest() : ServiceCalls(service) {}
    ServiceProcess service;
};

// One connection of a test that acts as many clients at once: bytes to send (head, then
// body; from byte `trickleFrom` on one byte every `trickle`, else as fast as the service
// takes them), and what came back.
struct RawCall {
    RawCall(std::string head, std::shared_ptr<const std::string> body = nullptr,
            std::chrono::milliseconds trickle = std::chrono::milliseconds(0),
            size_t trickleFrom = 0)
        : head(std::move(head)),
          body(std::move(body)),
          trickle(trickle),
          trickleFrom(trickleFrom) {}

    std::string head;
    std::shared_ptr<const std::string> body;
    std::chrono::milliseconds trickle{0};
    size_t trickleFrom = 0;

    int status = 0;      // of the final reply (after any "100 Continue"); 0: no reply
    std::string reply;   // the whole response as received
    double seconds = 0;  // from connecting to the end of the reply or the connection
    bool finished = false;

    // The reply's body parsed as JSON (discarded when it is not JSON).
    json replyJson() const;
    // Its "code" when the reply is a JSON object with one, else -1.
    int replyCode() const {
        json j = replyJson();
        return j.is_object() && j.contains("code") && j["code"].is_number_integer()
                   ? j["code"].get<int>()
                   : -1;
    }
};

// Runs every call at once against 127.0.0.1:`port` until each has ended or `limit` passed.
// A call ends when the service closes the connection or resets it; a call that is answered
// while it still sends stops sending.
void runAtOnce(int port, std::vector<RawCall>& calls, std::chrono::milliseconds limit);

// Peak resident memory of a process in bytes (its high-water mark), 0 when unknown.
size_t peakResidentBytes(pid_t pid);

}  // namespace zvt::test::svc
