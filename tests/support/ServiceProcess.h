// Starts the local Zavelto service (zavelto-service) as a real child process for a test:
// on a free port of 127.0.0.1, with a fresh temporary data directory (so with freshly seeded
// demo data), and stops it and removes the directory at the end. The control interface of
// the service ("/__test/...") is reached through plain HTTP calls on the same port.
//
//     zvt::test::ServiceProcess service;              // started, demo data seeded
//     std::string root = service.rootURL();           // "http://127.0.0.1:PORT"
//     service.script(ScriptedReply{.op = "login", .code = 202, .msg = "no"}.toJSON());
//     ... let the client under test talk to `root` ...
//     std::string log = service.requestLog("login");   // JSON array of decoded requests
//
// A test target that uses it builds the service first:
//     add_dependencies(<test target> zavelto-service)
// Only the C++ standard library and POSIX are used, so the launcher carries no project code.
// The child gets SIGTERM when the thread that started it ends (Linux parent-death signal),
// so a crashed test leaves no service behind; start it from the test's own thread. It is
// started with "--test-control", which opens the control interface to loopback clients.
// Its one line per request goes to the test's standard error, or to a file (captureLog).
//
// The log entries (JSON objects) hold: "seq", "iface" ("json", "enciphered", "search",
// "page", "image"), "op" (the "m" or "act" value; "userInfo&do=my" for sub-operations),
// "method", "target", "form" (how the body was written: "json", "des" for the enciphered
// string literal, "form", "multipart", "query", "none"), "fields" (the decoded fields, values
// exactly as sent: a number stays a number), "files" (multipart files: "filename",
// "content_type", "size", "md5"), "plain" (the deciphered text of an enciphered body),
// "decode_error", "signature" ("ok", "bad_code", "unknown_time", "expired_time", "missing",
// "unsigned"), "headers" (all request headers: Cookie, User-Agent, Accept-Language,
// Content-Type...), "body_size" and "session_user" (the user id behind the login cookie the
// request carried, or null).
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zvt::test {

// The seeded demo accounts.
inline constexpr const char* kServiceTestUserName = "zvttest";
inline constexpr const char* kServiceTestUserPassword = "zvt123456";
inline constexpr const char* kServiceTestUserId = "10001";
inline constexpr const char* kServiceTestUserPhone = "13800138000";
inline constexpr const char* kServiceTestUserEmail = "zvttest@example.com";
// An account known only through a QQ partner login ("web" "qq", "webId" below), id 10002.
inline constexpr const char* kServicePartnerWeb = "qq";
inline constexpr const char* kServicePartnerWebId = "QQ-OPENID-0001";
// A second password account, id 10003.
inline constexpr const char* kServiceOtherUserName = "lisi";
inline constexpr const char* kServiceOtherUserPassword = "lisi8888";
// A new password account, id 10004: no phone, e-mail, QQ, Alipay account ("alipay" absent) or
// avatar.
inline constexpr const char* kServiceNewUserName = "wangwu";
inline constexpr const char* kServiceNewUserPassword = "wangwu2026";
inline constexpr const char* kServiceNewUserId = "10004";

// One scripted reply for the service's "/__test/script"; toJSON() gives the text to post.
// Without `code`, `msg`, `data` the operation runs as usual and only the other settings
// (status, content type, delay, time and data mangling) apply to its real reply.
struct ScriptedReply {
    std::string op{};     // "get_time", "login", "userInfo" (every "do"), "userInfo&do=pwd"...
    std::string iface{};  // "json", "enciphered", or "" for both interfaces
    std::string fieldsJSON{};  // raw JSON object: only a request with these fields (as text)
    std::optional<int> code{};
    std::optional<std::string> codeText{};  // "code" sent as a JSON text instead of a number
    std::optional<std::string> msg{};
    std::optional<std::string> dataJSON{};  // raw JSON of "data"
    std::optional<bool> encipher{};         // "data" DES-enciphered; default: as the op does
    std::string extraJSON{};                // raw JSON object merged into the top level
    int httpStatus = 0;                     // 0: 200
    std::string contentType{};              // "": the usual JSON content type
    int delayMs = 0;                        // answer late
    bool stall = false;                     // never answer; the connection is cut when the
    int stallMs = 0;                        // client hangs up or after stallMs (default 120 s)
    bool drop = false;                      // cut the connection without any response
    bool malformed = false;                 // send only the first half of the JSON text
    bool undecipherable = false;            // "data" becomes Base64 that no DES key deciphers
    bool omitTime = false;                  // get_time: no "time" (top level or inside "data")
    bool timeAsNumber = false;              // get_time: "time" as a JSON number
    std::optional<std::string> rawBody{};   // the whole body, sent exactly as given
    bool sticky = false;                    // stays until cleared; else used `times` times
    int times = 1;
    std::string hold{};                     // held at this gate until release(hold); posting
                                            // the script closes the gate


    std::string toJSON() const;
};

// A text as one value of a query: every byte but the unreserved ones percent-encoded.
std::string percentEncode(const std::string& s);

class ServiceProcess {
public:
    struct Options {
        // Path of zavelto-service; empty: $ZVT_SERVICE_BIN, else "service/zavelto-service"
        // in the nearest build directory above the running test binary.
        std::string executable{};
        int port = 0;                            // 0: any free port
        std::vector<std::string> extraArgs{};    // e.g. {"--sign-fail-code", "202"}
        bool testControl = true;                 // serve "/__test/" to loopback clients
        std::vector<std::string> environment{};  // "NAME=value" added to the child's
        bool captureLog = false;                 // standard error into serviceLog()
        // The day the demo data's story ends on ("--demo-day"): by default the one the tests
        // read the demo as, so that its dates and figures are the same whatever day they run;
        // empty: the day it is seeded, as the run script has it.
        std::string demoDay = "2026-12-01";
        // Its descriptor limit, soft and hard (the service sizes its connection table from
        // it); 0: this process's.
        int descriptors = 0;
    };

    struct Response {
        int status = 0;  // 0 when the request failed in transport
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body;
        std::string header(const std::string& name) const;  // case-insensitive, "" if absent
    };

    // Starts the service and waits for its "listening on" line; throws std::runtime_error
    // when it cannot be started.
    ServiceProcess();
    explicit ServiceProcess(Options options);
    // Stops the service and removes the data directory.
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    int port() const { return port_; }
    std::string host() const { return "127.0.0.1"; }
    std::string rootURL() const;  // "http://127.0.0.1:PORT", no trailing slash
    const std::string& dataDir() const { return dataDir_; }
    pid_t pid() const { return pid_; }
    bool running() const { return pid_ > 0; }

    // SIGTERM and wait for the exit (SIGKILL after 10 s); returns the exit status as
    // waitpid reports it, or -1 when it was not running. The data directory stays.
    int stop();
    // Starts it again after stop(), on the same port and data directory.
    void start();

    // What the service wrote to standard error (with captureLog).
    std::string serviceLog() const;

    // One plain HTTP/1.1 request to the service (Connection: close), e.g. to send a
    // hand-built request in a test. A "Host" among `headers` replaces the service's address.
    Response request(const std::string& method, const std::string& target,
                     const std::string& body = "", const std::string& contentType = "",
                     const std::vector<std::pair<std::string, std::string>>& headers = {}) const;

    // Control interface. JSON comes and goes as text; every call throws std::runtime_error
    // when the service does not answer with 2xx.
    std::string requestLog(const std::string& op = "", const std::string& iface = "") const;
    int requestCount(const std::string& op = "", const std::string& iface = "") const;
    void clearLog() const;
    void script(const std::string& scriptJSON) const;  // one object or an array of them
    void script(const ScriptedReply& reply) const { script(reply.toJSON()); }
    void clearScripts() const;
    // Opens the gate that scripts with this `hold` closed: the replies held there go (each after
    // its delay), and later ones pass. A reset opens every gate.
    void release(const std::string& hold) const;
    // Clears log, scripts, outboxes and run-time configuration; with reseed the data too.
    void reset(bool reseed = false) const;
    // {"sign_fail_code": 202, "sign_fail_msg": "...", "time_window_ms": 0,
    //  "fixed_time": "1700000000" (or null), "forget_times": true}; returns the new settings.
    std::string configure(const std::string& configJSON) const;
    // Sets fields of a stored user record: {"id": "10001", "jifenbao": "12.50", "alipay": null}
    // (null is stored as null; "$unset": ["alipay"] takes fields out of the record, a user who
    // never had them); returns the record as stored. Throws for an unknown user.
    std::string setUserFields(const std::string& fieldsJSON) const;
    std::string smsOutbox() const;  // JSON array of {"address", "purpose", "code", "text", ...}
    std::string mailOutbox() const;
    // Newest code sent to an address ("register", "binding", "forgot" for SMS; "password"
    // for mail); "" when there is none.
    std::string latestSmsCode(const std::string& phone, const std::string& purpose = "") const;
    std::string latestMailCode(const std::string& email, const std::string& purpose = "") const;

private:
    void launch();
    std::string control(const std::string& method, const std::string& target,
                        const std::string& body = "") const;

    Options options_;
    std::string dataDir_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace zvt::test
