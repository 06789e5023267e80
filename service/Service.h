// The local Zavelto service: both signed interfaces of the application's server, the unsigned
// configuration and search reads, the service pages and pictures, and (for tests, to loopback
// clients only) a control interface under "/__test/" through which tests read what arrived and
// script what goes back.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "service/HttpServer.h"
#include "service/Store.h"

namespace zvt::service {

// Settings fixed for the life of the process.
struct ServiceOptions {
    // Serve "/__test/" (to loopback clients only).
    bool testControl = false;
    // "http://host:port" under which the service is reached from outside: password-reset links
    // and the session cookie's domain are built from it, never from a request's Host header.
    // Empty: the bound address.
    std::string publicRoot;
    HttpLimits limits;
    // The day the demo data's story ends on ("YYYY-MM-DD"), for a new data directory and a
    // reseed; none: the day it is seeded.
    std::optional<std::string> demoDay;
};

// Nesting of arrays and objects allowed in a JSON document, as the client's decoder allows.
inline constexpr int kMaxJsonDepth = 512;
// Fields of one request body (JSON values, form fields, multipart parts) and of a deciphered
// text: far more than any operation takes (the registration, the largest, sends about twenty).
// A parsed field costs about a hundred bytes beside its text, so a body of a few megabytes of
// tiny fields would otherwise cost hundreds of megabytes.
inline constexpr size_t kMaxBodyFields = 2048;

struct ServiceConfig {
    // Code and message of the reply to a request whose signature or time stamp does not hold.
    int signFailCode = 111;
    std::string signFailMsg = "签名验证失败";
    // How long an issued time stamp may be signed with.
    int64_t timeWindowMs = 300000;
    // When set, get_time hands out this text instead of the current Unix time.
    std::optional<std::string> fixedTime;
    // Which configuration get_ios_config answers (HomeOps.cpp): "full", "partial", "empty",
    // "ads" (the advert switched on) or "ads_missing" (the same with a picture that is a 404).
    std::string iosConfig = "full";
    // How many of the mall categories mall_type answers (Malls.cpp), from the first: 1 to 5.
    int mallCategories = 5;
    // For tests of what survives a crash: the process kills itself (SIGKILL) right after this
    // write (1 the first) of the next run of this operation. Empty op: never.
    std::string dieOp;
    int dieAfterWrite = 0;
};

// One decoded request, as the log shows it and the operations read it.
struct Incoming {
    std::string iface;  // "json", "enciphered", "search", "page", "image"
    std::string op;     // "get_goods", "userInfo&do=my", a page path...
    std::string method;
    std::string target;
    std::string form;  // "json", "des", "form", "multipart", "query", "none"
    nlohmann::json fields = nlohmann::json::object();
    nlohmann::json files = nlohmann::json::object();
    std::map<std::string, std::string> fileBytes;
    std::optional<std::string> plain;  // the deciphered text of an enciphered body
    std::string decodeError;           // why the body could not be read, empty when it could
    std::string
        signature;  // "ok", "bad_code", "unknown_time", "expired_time", "missing", "unsigned"
    std::optional<int64_t> sessionUser;
    nlohmann::json notes;  // what a handler read out of the request, logged with it
    std::string root;  // "http://host:port" as the client addressed the service (reply links)
    std::string remoteAddr;
    int remotePort = 0;
};

struct Reply {
    int httpStatus = 200;
    std::string contentType = "application/json; charset=utf-8";
    nlohmann::json body = nlohmann::json::object();
    bool encipherData = false;
    std::optional<std::string> raw;  // a body sent exactly as it stands (pages, pictures)
    std::shared_ptr<BodyStream> stream;  // with raw: the body made as it is sent instead
    std::vector<std::pair<std::string, std::string>> headers;
    int delayMs = 0;  // answer late (a slow picture)
};

class Service {
public:
    Service(const std::string& dataDir, ServiceConfig config, ServiceOptions options = {});
    ~Service();

    // Binds to `host`:`port` (0 = any free port) and returns the port bound, or -1.
    int bind(const std::string& host, int port);
    // The public root in use once bound ("http://127.0.0.1:8080").
    std::string publicRoot() const { return publicRoot_; }
    // Serves until stop() is called; returns false when the server could not run.
    bool run();
    void stop();

private:
    using Handler = Reply (Service::*)(Incoming&);
    // Whose session an operation needs.
    enum class Access {
        open,
        owner,       // the session of the user the request names
        ownerIfAny,  // no session, or the named user's
    };
    struct Operation {
        Handler handler;
        bool signedCall;  // needs "time" and "code"
        bool encipher;    // "data" of the reply is DES-enciphered
        // Changes stored data: runs as one transaction of the store, its checks included, so
        // that it takes effect whole or not at all and no other write comes in between.
        bool writes;
        Access access = Access::open;
        const char* ownerKey = "id";  // the field that names the user
    };

    // Which workers serve a request: calls never wait behind pictures and pages.
    static Lane laneOf(const HttpRequest& req);
    static std::string opName(const HttpRequest& req, const std::string& iface);
    bool writes(const HttpRequest& req) const;
    HttpResponse route(HttpRequest& req);
    HttpResponse refusal(int status, const std::string& why);
    HttpResponse handleApi(const HttpRequest& req, const std::string& iface);
    HttpResponse handlePlain(const HttpRequest& req, const std::string& iface,
                             Reply (Service::*page)(Incoming&));
    Incoming decode(const HttpRequest& req, const std::string& iface);
    void checkSignature(Incoming& in);
    std::optional<Reply> accessRefusal(const Operation& op, const Incoming& in);
    void logRequest(const Incoming& in, const HttpRequest& req);
    // The first pending script for the operation whose "fields" (when it names any) the
    // request's fields match.
    std::optional<nlohmann::json> takeScript(const std::string& iface, const std::string& op,
                                             const nlohmann::json& fields);
    HttpResponse send(const Incoming& in, Reply reply, const std::optional<nlohmann::json>& script);
    // A script that cuts the connection instead of replying.
    static std::optional<HttpResponse> scriptedCut(const std::optional<nlohmann::json>& script);
    // Runs one operation, as one transaction of the store when it `writes`; a thrown error
    // becomes a 500 reply (and nothing it wrote stays). A JSON reply is enciphered as
    // `encipher` says, when given.
    Reply runHandler(Reply (Service::*handler)(Incoming&), Incoming& in, bool writes = false,
                     std::optional<bool> encipher = std::nullopt);
    // With the control interface: after each write of an operation, ends the process (SIGKILL)
    // when the configuration asks for it at that write of that operation.
    void afterWrite();
    static void addExtra(Reply& reply, const std::optional<nlohmann::json>& script);

    // Control interface (Control.cpp).
    HttpResponse control(const HttpRequest& req);
    // Its calls of the happenings no operation makes (LedgerControl.cpp): orders placed, rebates,
    // refunds, withdrawals paid out or returned, invitation rewards.
    static bool isLedgerControl(const std::string& path);
    HttpResponse ledgerControl(const std::string& path, const nlohmann::json& given);

    // Time stamps.
    std::string issueTime();
    // The service's clock in Unix seconds: the fixed time stamp when one is set, else the
    // system's time.
    int64_t clockSeconds();
    std::string timeState(const std::string& time);

    // Session helpers.
    Reply sessionReply(const json& user, Incoming& in, nlohmann::json extra);

    // JSON interface.
    Reply opGetTimeJson(Incoming&);
    Reply opIosConfig(Incoming&);
    Reply opTaoConfig(Incoming&);
    Reply opSearchCat(Incoming&);
    Reply opInvitePage(Incoming&);
    Reply opSearchMall(Incoming&);
    Reply opGoMall(Incoming&);
    Reply opRegisterCode(Incoming&);
    Reply opRegisterPhone(Incoming&);
    Reply opBindingCode(Incoming&);
    Reply opBindingPhone(Incoming&);
    Reply opForgotCode(Incoming&);
    Reply opForgotReset(Incoming&);
    Reply opGoods(Incoming&);
    Reply opMakeProfits(Incoming&);
    Reply opUpdateUserInfo(Incoming&);
    Reply opUpdateAlipay(Incoming&);
    Reply opGetCoupon(Incoming&);
    Reply opUseCoupon(Incoming&);
    Reply opUpPushId(Incoming&);
    Reply opMallType(Incoming&);
    Reply opMall(Incoming&);
    // Every mall record of every category, in category order (the mall search and redirect).
    std::vector<nlohmann::json> everyMall();
    Reply opUserInvite(Incoming&);
    Reply opInviteInfo(Incoming&);
    Reply opOldInviteInfo(Incoming&);

    // Enciphered interface.
    Reply opGetTimeDes(Incoming&);
    Reply opLogin(Incoming&);
    Reply opOAuthLogin(Incoming&);
    Reply opRegisterName(Incoming&);
    Reply opUserInfoMy(Incoming&);
    Reply opUserInfoPwd(Incoming&);
    Reply opUserInfoUpdate(Incoming&);
    Reply opGetPwd(Incoming&);
    Reply opExchange(Incoming&);
    Reply opOutCash(Incoming&);
    Reply opOrder(Incoming&);
    Reply opUserDetailed(Incoming&);
    Reply opMessages(Incoming&);
    Reply opFeedback(Incoming&);
    Reply opExchangeGoods(Incoming&);
    Reply opAvatar(Incoming&);
    Reply opClickUrl(Incoming&);
    Reply opSign(Incoming&);
    Reply opShareAward(Incoming&);

    // Pages and pictures.
    Reply pageHtml(Incoming&);
    Reply pageCoupon(Incoming&);
    // The offer-wall provider's task page (EarnMoney.cpp), which deciphers its token before the
    // request is logged, so that the log shows the token's parts.
    HttpResponse offerWallPage(const HttpRequest& req);
    // The shops' stand-in pages (ShopPages.cpp).
    static bool isShopPage(const std::string& path);
    Reply pageShop(Incoming&);
    HttpResponse goneShop(const HttpRequest& req);
    // The partners' OAuth pages and the service's callbacks behind them (PartnerPages.cpp).
    static bool isPartnerPage(const std::string& path);
    static bool isPartnerCallback(const std::map<std::string, std::string>& query);
    Reply pagePartner(Incoming&);
    Reply pagePartnerCallback(Incoming&);
    void resetPartners();
    nlohmann::json setPartner(const nlohmann::json& body);
    Reply pageLookup(Incoming&);
    Reply pageImage(Incoming&);
    Reply pageSearch(Incoming&);
    Reply pageSuggestion(Incoming&);

    std::optional<json> userOf(const Incoming& in, const char* key = "id");
    std::string sendSmsCode(const std::string& phone, const std::string& purpose);

    std::string dataDir_;
    Store store_;
    ServiceOptions options_;
    std::unique_ptr<HttpServer> server_;
    int port_ = 0;
    std::string publicRoot_;  // fixed once bound
    std::string publicHost_;  // its host: the cookie's domain

    std::mutex partnerMutex_;
    std::map<std::string, std::string> partnerIds_;    // web -> the id its callback hands out
    std::map<std::string, std::string> partnerCodes_;  // one-time code -> web
    bool partnerConsent_ = true;                       // false: authorize redirects at once

    // For tests of the workers (`hold_pictures` in /__test/config): while held, a picture waits
    // before it is made, keeping its worker, until the hold ends (a setting, a reset, stop()).
    // `hold_frames` alike holds the pieces of animated pictures after their first.
    std::mutex holdMutex_;
    std::condition_variable holdChanged_;
    bool holdPictures_ = false;
    bool holdFrames_ = false;
    bool stopping_ = false;
    int picturesHeld_ = 0;  // pictures (and pieces of them) waiting at the holds now
    void setHold(bool hold);
    void setFrameHold(bool hold);
    void waitWhileHeld(bool frame = false);

    std::mutex configMutex_;
    ServiceConfig config_;
    std::map<std::string, std::chrono::steady_clock::time_point> issuedTimes_;

    // The request log for tests, as JSON texts: bounded by entries and by bytes.
    struct LogEntry {
        int64_t seq;
        std::string iface;
        std::string op;
        std::string text;
    };
    std::mutex logMutex_;
    std::deque<LogEntry> log_;
    size_t logBytes_ = 0;
    int64_t logSeq_ = 0;

    std::mutex scriptMutex_;
    std::vector<nlohmann::json> scripts_;

    std::map<std::string, Operation> jsonOps_;
    std::map<std::string, Operation> desOps_;
};

}  // namespace zvt::service
