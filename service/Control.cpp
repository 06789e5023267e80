// The control interface for tests ("/__test/"): the request log, scripted replies and their
// gates, the run-time configuration, the picture holds, the partner pages' ids, the stored user
// record, the outboxes and a reset; the happenings of an account no operation makes are in
// LedgerControl.cpp. Served only with --test-control, to loopback clients (Service::route).

#include <algorithm>
#include <mutex>
#include <string>

#include "service/Operations.h"
#include "service/Service.h"

namespace zvt::service {

namespace {

// Why a posted script cannot be used, or "" when it can.
std::string scriptError(const json& s) {
    if (!s.is_object() || !s.contains("op") || !s["op"].is_string()) {
        return "every script needs an \"op\" text";
    }
    for (const char* key : {"encipher", "stall", "drop", "malformed", "undecipherable", "omit_time",
                            "time_as_number", "sticky"}) {
        if (s.contains(key) && !s[key].is_boolean())
            return std::string(key) + " must be true or false";
    }
    for (const char* key : {"http_status", "delay_ms", "stall_ms", "times"}) {
        if (s.contains(key) && !s[key].is_number_integer())
            return std::string(key) + " must be an integer";
    }
    for (const char* key : {"iface", "content_type", "body", "hold"}) {
        if (s.contains(key) && !s[key].is_string()) return std::string(key) + " must be a text";
    }
    if (s.contains("hold") && s["hold"].get<std::string>().empty()) return "hold must name its gate";
    if (s.contains("extra") && !s["extra"].is_object()) return "extra must be an object";
    if (s.contains("fields") && !s["fields"].is_object()) return "fields must be an object";
    if (s.contains("code") && !s["code"].is_number_integer() && !s["code"].is_string()) {
        return "code must be an integer or a text";
    }
    return {};
}

// Why posted run-time settings cannot be used, or "" when they can. A time stamp to hand out
// must be Unix seconds, as a number or as digits.
std::string configError(const json& s) {
    if (s.contains("sign_fail_code") && !s["sign_fail_code"].is_number_integer())
        return "sign_fail_code must be an integer";
    if (s.contains("sign_fail_msg") && !s["sign_fail_msg"].is_string())
        return "sign_fail_msg must be a text";
    if (s.contains("time_window_ms") &&
        (!s["time_window_ms"].is_number_integer() || s["time_window_ms"].get<int64_t>() < 0))
        return "time_window_ms must be an integer of at least 0";
    if (s.contains("forget_times") && !s["forget_times"].is_boolean())
        return "forget_times must be true or false";
    if (s.contains("hold_pictures") && !s["hold_pictures"].is_boolean())
        return "hold_pictures must be true or false";
    if (s.contains("hold_frames") && !s["hold_frames"].is_boolean())
        return "hold_frames must be true or false";
    if (s.contains("ios_config") && (!s["ios_config"].is_string() || !knownIosConfig(s["ios_config"].get<std::string>())))
        return "ios_config must be full, partial, empty, ads or ads_missing";
    if (s.contains("mall_categories") &&
        (!s["mall_categories"].is_number_integer() || s["mall_categories"].get<int64_t>() < 1 ||
         s["mall_categories"].get<int64_t>() > 5))
        return "mall_categories must be an integer from 1 to 5";
    if (s.contains("die_after_write")) {
        const json& d = s["die_after_write"];
        const bool valid = d.is_null() || (d.is_object() && d.size() == 2 && d.contains("op") && d["op"].is_string() &&
                                           d.contains("write") && d["write"].is_number_integer() &&
                                           d["write"].get<int64_t>() >= 1 && d["write"].get<int64_t>() <= 1000);
        if (!valid) return "die_after_write must be {\"op\": <operation>, \"write\": <1 or more>} or null";
    }
    if (s.contains("fixed_time")) {
        const json& t = s["fixed_time"];
        std::string given = t.is_string() ? t.get<std::string>() : std::string();
        bool digits =
            !given.empty() && given.size() <= 18 &&
            std::all_of(given.begin(), given.end(), [](char c) { return c >= '0' && c <= '9'; });
        bool number = t.is_number_unsigned() || (t.is_number_integer() && t.get<int64_t>() >= 0);
        if (!t.is_null() && !digits && !number)
            return "fixed_time must be Unix seconds (digits) or null";
    }
    return {};
}

}  // namespace

HttpResponse controlAnswer(const json& body, int status) {
    HttpResponse r;
    r.status = status;
    r.contentType = "application/json; charset=utf-8";
    r.body = dump(body);
    return r;
}

HttpResponse controlRefusal(const std::string& error, int status) {
    return controlAnswer({{"ok", false}, {"error", error}}, status);
}

HttpResponse Service::control(const HttpRequest& req) {
    const auto reply = [](const json& j) { return controlAnswer(j); };
    const auto refused = [](const std::string& error) { return controlRefusal(error); };
    // Bodies are JSON; deeper nesting is refused before it is parsed, as on the interfaces.
    auto body = [&]() {
        return nestingWithin(req.body, kMaxJsonDepth) ? json::parse(req.body, nullptr, false)
                                                      : json(json::value_t::discarded);
    };
    const std::string& path = req.path;
    const std::string& method = req.method;
    auto q = queryOf(req.target);
    const std::string opFilter = q["op"], ifaceFilter = q["iface"];
    auto matches = [&](const LogEntry& e) {
        return (opFilter.empty() || e.op == opFilter) &&
               (ifaceFilter.empty() || e.iface == ifaceFilter);
    };

    if (method == "GET" && path == "/__test/log") {
        int64_t since = integer(q["since"]).value_or(0);
        HttpResponse r = reply(json::array());
        std::string out = "[";
        std::lock_guard lock(logMutex_);
        for (const auto& e : log_) {
            if (e.seq <= since || !matches(e)) continue;
            if (out.size() > 1) out += ",";
            out += e.text;
        }
        r.body = out + "]";
        return r;
    }
    if (method == "GET" && path == "/__test/log/count") {
        size_t n = 0;
        std::lock_guard lock(logMutex_);
        for (const auto& e : log_) n += matches(e) ? 1 : 0;
        return plainResponse(200, std::to_string(n));
    }
    if ((method == "DELETE" && path == "/__test/log") ||
        (method == "POST" && path == "/__test/log/clear")) {
        std::lock_guard lock(logMutex_);
        log_.clear();
        logBytes_ = 0;
        return reply({{"ok", true}});
    }
    if (method == "POST" && path == "/__test/script") {
        json given = body();
        if (given.is_object()) given = json::array({given});
        if (!given.is_array()) return refused("expected a JSON object or array");
        for (const auto& s : given) {
            if (std::string error = scriptError(s); !error.empty()) return refused(error);
        }
        // A script that holds its reply closes its gate now, before any request can use it.
        for (const auto& s : given) {
            if (s.contains("hold")) server_->closeGate(s["hold"].get<std::string>());
        }
        std::lock_guard lock(scriptMutex_);
        for (const auto& s : given) scripts_.push_back(s);
        return reply({{"ok", true}, {"scripts", scripts_.size()}});
    }
    if (method == "GET" && path == "/__test/script") {
        std::lock_guard lock(scriptMutex_);
        return reply(json(scripts_));
    }
    if ((method == "DELETE" && path == "/__test/script") ||
        (method == "POST" && path == "/__test/script/clear")) {
        std::lock_guard lock(scriptMutex_);
        scripts_.clear();
        return reply({{"ok", true}});
    }
    if (method == "POST" && path == "/__test/release") {
        json given = body();
        if (!given.is_object() || !given.contains("hold") || !given["hold"].is_string() ||
            given["hold"].get<std::string>().empty()) {
            return refused("expected {\"hold\": the gate's name}");
        }
        server_->openGate(given["hold"].get<std::string>());
        return reply({{"ok", true}});
    }
    if (method == "POST" && path == "/__test/reset") {
        {
            std::lock_guard lock(scriptMutex_);
            scripts_.clear();
        }
        server_->openEveryGate();
        {
            std::lock_guard lock(logMutex_);
            log_.clear();
            logBytes_ = 0;
        }
        {
            std::lock_guard lock(configMutex_);
            ServiceConfig fresh;
            fresh.signFailCode = config_.signFailCode;  // the command line's choice stays
            config_.signFailMsg = fresh.signFailMsg;
            config_.timeWindowMs = fresh.timeWindowMs;
            config_.fixedTime.reset();
            config_.iosConfig = fresh.iosConfig;
            config_.mallCategories = fresh.mallCategories;
            config_.dieOp.clear();
            config_.dieAfterWrite = 0;
        }
        setHold(false);
        setFrameHold(false);
        resetPartners();
        if (q["reseed"] == "1") {
            store_.reseed();
        } else {
            store_.clearOutboxes();
        }
        return reply({{"ok", true}});
    }
    auto configJson = [this]() {
        bool hold = false, holdFrames = false;
        {
            std::lock_guard lock(holdMutex_);
            hold = holdPictures_;
            holdFrames = holdFrames_;
        }
        std::lock_guard lock(configMutex_);
        return json{{"sign_fail_code", config_.signFailCode},
                    {"hold_pictures", hold},
                    {"hold_frames", holdFrames},
                    {"sign_fail_msg", config_.signFailMsg},
                    {"time_window_ms", config_.timeWindowMs},
                    {"fixed_time", config_.fixedTime ? json(*config_.fixedTime) : json(nullptr)},
                    {"ios_config", config_.iosConfig},
                    {"mall_categories", config_.mallCategories},
                    {"die_after_write", config_.dieOp.empty() ? json(nullptr)
                                                              : json{{"op", config_.dieOp},
                                                                     {"write", config_.dieAfterWrite}}}};
    };
    if (method == "GET" && path == "/__test/config") return reply(configJson());
    if (method == "POST" && path == "/__test/config") {
        json settings = body();
        if (!settings.is_object()) return refused("expected a JSON object");
        if (std::string error = configError(settings); !error.empty()) return refused(error);
        {
            std::lock_guard lock(configMutex_);
            if (settings.contains("sign_fail_code"))
                config_.signFailCode = settings["sign_fail_code"].get<int>();
            if (settings.contains("sign_fail_msg"))
                config_.signFailMsg = settings["sign_fail_msg"].get<std::string>();
            if (settings.contains("time_window_ms"))
                config_.timeWindowMs = settings["time_window_ms"].get<int64_t>();
            if (settings.contains("fixed_time")) {
                if (settings["fixed_time"].is_null()) {
                    config_.fixedTime.reset();
                } else {
                    config_.fixedTime = text(settings, "fixed_time");
                }
            }
            if (settings.value("forget_times", false)) issuedTimes_.clear();
            if (settings.contains("ios_config")) config_.iosConfig = settings["ios_config"].get<std::string>();
            if (settings.contains("mall_categories"))
                config_.mallCategories = settings["mall_categories"].get<int>();
            if (settings.contains("die_after_write")) {
                const json& d = settings["die_after_write"];
                config_.dieOp = d.is_null() ? std::string() : d["op"].get<std::string>();
                config_.dieAfterWrite = d.is_null() ? 0 : d["write"].get<int>();
            }
        }
        if (settings.contains("hold_pictures")) setHold(settings["hold_pictures"].get<bool>());
        if (settings.contains("hold_frames")) setFrameHold(settings["hold_frames"].get<bool>());
        return reply(configJson());
    }
    // The pictures waiting at the hold; with at_least=N, answered once N wait (at most 10 s
    // later, with as many as there are), so that a test needs no polling.
    if (method == "GET" && path == "/__test/pictures/held") {
        const int64_t wanted = integer(q["at_least"]).value_or(0);
        std::unique_lock lock(holdMutex_);
        holdChanged_.wait_for(lock, std::chrono::seconds(10),
                              [&] { return picturesHeld_ >= wanted || stopping_; });
        return plainResponse(200, std::to_string(picturesHeld_));
    }
    // The partner pages' ids and whether they ask for consent.
    if (method == "POST" && path == "/__test/partner") {
        json b = body();
        if (!b.is_object()) return refused("a JSON object with web, webId or consent");
        return reply(setPartner(b));
    }
    if (method == "POST" && isLedgerControl(path)) return ledgerControl(path, body());
    // Sets fields of a stored user record ({"id", field: value...}; null is a value too), for
    // states the demo data does not hold.
    if (method == "POST" && path == "/__test/user") {
        json given = body();
        if (!given.is_object()) return refused("expected a JSON object");
        auto id = integer(text(given, "id"));
        if (!id) return refused("expected the user's \"id\"");
        // Read and written in one transaction, so that no operation's write comes in between.
        HttpResponse answer;
        store_.transaction([&] {
            auto user = store_.userById(*id);
            if (!user) {
                answer = plainResponse(404, "no such user");
                return;
            }
            // "$unset": the names of fields to take out of the record (a user who never had them).
            if (given.contains("$unset")) {
                if (!given["$unset"].is_array()) {
                    answer = refused("\"$unset\" takes an array of field names");
                    return;
                }
                for (const auto& name : given["$unset"]) {
                    if (!name.is_string() || name == "id") {
                        answer = refused("\"$unset\" takes field names other than \"id\"");
                        return;
                    }
                    user->erase(name.get<std::string>());
                }
            }
            for (auto& [key, value] : given.items()) {
                if (key != "id" && key != "$unset") (*user)[key] = value;
            }
            store_.saveUser(*user);
            answer = reply(*user);
        });
        return answer;
    }
    for (const char* channel : {"sms", "mail"}) {
        std::string base = std::string("/__test/") + channel;
        if (method == "GET" && path == base) return reply(store_.outbox(channel));
        // The newest code sent to one address, as plain text; 404 when there is none.
        if (method == "GET" && path == base + "/latest") {
            json box = store_.outbox(channel);
            for (auto it = box.rbegin(); it != box.rend(); ++it) {
                if ((*it)["address"] != q["address"]) continue;
                if (!q["purpose"].empty() && (*it)["purpose"] != q["purpose"]) continue;
                return plainResponse(200, (*it)["code"].get<std::string>());
            }
            return plainResponse(404, "");
        }
    }
    return plainResponse(404, "");
}

}  // namespace zvt::service
