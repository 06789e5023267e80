// Requests to the local service for its tests: a fixture that signs and sends (the protocol's
// signatures and DES payload form are in ServiceProtocol.h), and raw connections for requests
// no client would send.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "tests/service/ServiceProtocol.h"
#include "tests/support/ServiceProcess.h"

namespace zvt::test::svc {

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
