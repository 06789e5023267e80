#include "service/Service.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <thread>

#include "service/Crypto.h"
#include "service/DemoData.h"
#include "service/Images.h"
#include "service/Operations.h"

namespace zvt::service {

namespace {

constexpr const char* kCookieName = "ZVTSESSID";

// The request log keeps an entry whole up to this size; a larger one (a big body) keeps a
// summary: every text cut to kLogSummaryText bytes, at most kLogSummaryKeys fields.
constexpr size_t kLogEntryWhole = 1u << 20;
constexpr size_t kLogSummaryText = 1024;
constexpr size_t kLogSummaryKeys = 100;
constexpr size_t kLogMaxBytes = 16u << 20;
constexpr size_t kLogMaxEntries = 20000;

struct Part {
    std::string name;
    std::string filename;
    std::string contentType;
    std::string content;
};

std::string headerParam(const std::string& header, const std::string& param) {
    std::string key = param + "=";
    size_t pos = 0;
    while ((pos = header.find(key, pos)) != std::string::npos) {
        if (pos == 0 || header[pos - 1] == ';' || header[pos - 1] == ' ') break;
        pos += key.size();
    }
    if (pos == std::string::npos) return {};
    pos += key.size();
    if (pos < header.size() && header[pos] == '"') {
        size_t end = header.find('"', pos + 1);
        return header.substr(pos + 1, end == std::string::npos ? std::string::npos : end - pos - 1);
    }
    size_t end = header.find(';', pos);
    return header.substr(pos, end == std::string::npos ? std::string::npos : end - pos);
}

// multipart/form-data: parts between "--boundary" lines; the closing "--boundary--" may or
// may not be followed by CR LF.
std::optional<std::vector<Part>> parseMultipart(const std::string& body,
                                                const std::string& boundary) {
    if (boundary.empty()) return std::nullopt;
    const std::string delim = "--" + boundary;
    size_t pos = body.find(delim);
    if (pos == std::string::npos) return std::nullopt;
    std::vector<Part> parts;
    for (;;) {
        pos += delim.size();
        if (body.compare(pos, 2, "--") == 0) return parts;  // closing line
        if (body.compare(pos, 2, "\r\n") != 0) return std::nullopt;
        pos += 2;
        size_t headEnd = body.find("\r\n\r\n", pos);
        if (headEnd == std::string::npos) return std::nullopt;
        Part part;
        std::string head = body.substr(pos, headEnd - pos);
        for (size_t h = 0; h <= head.size();) {
            size_t eol = head.find("\r\n", h);
            std::string line =
                head.substr(h, eol == std::string::npos ? std::string::npos : eol - h);
            auto colon = line.find(':');
            if (colon != std::string::npos) {
                std::string key = line.substr(0, colon);
                std::string value = line.substr(colon + 1);
                value.erase(0, value.find_first_not_of(' '));
                std::transform(key.begin(), key.end(), key.begin(),
                               [](unsigned char c) { return std::tolower(c); });
                if (key == "content-disposition") {
                    part.name = headerParam(value, "name");
                    part.filename = headerParam(value, "filename");
                } else if (key == "content-type") {
                    part.contentType = value;
                }
            }
            if (eol == std::string::npos) break;
            h = eol + 2;
        }
        size_t contentStart = headEnd + 4;
        size_t next = body.find("\r\n" + delim, contentStart);
        if (next == std::string::npos) return std::nullopt;
        part.content = body.substr(contentStart, next - contentStart);
        parts.push_back(std::move(part));
        pos = next + 2;
    }
}

// For tests of the lanes (`hold_frames`): the pieces of an animated picture after its first,
// which are made as it is sent, wait at the hold before they are made.
class HeldPieces final : public BodyStream {
public:
    HeldPieces(std::shared_ptr<BodyStream> inner, std::function<void()> wait)
        : inner_(std::move(inner)), wait_(std::move(wait)) {}
    size_t size() const override { return inner_->size(); }
    void next(std::string& out, size_t max) override {
        if (made_++ > 0) wait_();
        inner_->next(out, max);
    }

private:
    std::shared_ptr<BodyStream> inner_;
    std::function<void()> wait_;
    size_t made_ = 0;
};

}  // namespace

std::string dump(const json& j) {
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Form decoding: "+" is a space and "%XX" a byte; a broken escape stays as written.
std::string formDecode(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '+') {
            out.push_back(' ');
        } else if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 &&
                   hexValue(s[i + 2]) >= 0) {
            out.push_back(static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
            i += 2;
        } else {
            out.push_back(s[i]);
        }
    }
    return out;
}

std::vector<std::pair<std::string, std::string>> parseForm(const std::string& text) {
    std::vector<std::pair<std::string, std::string>> out;
    size_t start = 0;
    while (start <= text.size()) {
        size_t amp = text.find('&', start);
        std::string item =
            text.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
        if (!item.empty()) {
            size_t eq = item.find('=');
            std::string key = formDecode(item.substr(0, eq));
            std::string value =
                eq == std::string::npos ? std::string() : formDecode(item.substr(eq + 1));
            if (!key.empty()) out.emplace_back(key, value);
        }
        if (amp == std::string::npos) break;
        start = amp + 1;
    }
    return out;
}


std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos) return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

}  // namespace

std::map<std::string, std::string> queryOf(const std::string& target) {
    std::map<std::string, std::string> out;
    auto q = target.find('?');
    if (q == std::string::npos) return out;
    for (auto& [k, v] : parseForm(target.substr(q + 1))) out[k] = v;
    return out;
}

// Whether a JSON text nests arrays and objects no deeper than `limit` and holds at most
// `maxValues` values (counted from above: every comma and opening bracket outside strings
// begins one more). Looked at before the text is parsed, since building, copying and freeing
// a document recurse once per level and cost about a hundred bytes a value.
bool nestingWithin(std::string_view text, int limit, size_t maxValues) {
    int depth = 0;
    size_t values = 1;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (inString) {
            if (c == '\\') {
                ++i;
            } else if (c == '"') {
                inString = false;
            }
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > limit || ++values > maxValues) return false;
        } else if (c == ']' || c == '}') {
            --depth;
        } else if (c == ',') {
            if (++values > maxValues) return false;
        }
    }
    return true;
}

HttpResponse plainResponse(int status, const std::string& text) {
    HttpResponse r;
    r.status = status;
    r.body = text;
    return r;
}

// A field as text: texts as they are, numbers by their digits, anything else empty.
std::string text(const json& fields, const char* key) {
    auto it = fields.find(key);
    if (it == fields.end() || it->is_null()) return {};
    if (it->is_string()) return it->get<std::string>();
    if (it->is_number_integer() || it->is_number_unsigned()) return dump(*it);
    if (it->is_number_float()) return dump(*it);
    if (it->is_boolean()) return it->get<bool>() ? "1" : "0";
    return {};
}

std::optional<int64_t> integer(const std::string& s) {
    if (s.empty()) return std::nullopt;
    try {
        size_t used = 0;
        long long v = std::stoll(s, &used);
        if (used != s.size()) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

int64_t intOr(const json& fields, const char* key, int64_t fallback) {
    return integer(text(fields, key)).value_or(fallback);
}

// Balances are kept as the texts the clients show: integers or money with two decimals.
int64_t cents(const std::string& money) {
    try {
        return std::llround(std::stod(money) * 100);
    } catch (...) {
        return 0;
    }
}

std::string htmlEscaped(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string queryEscaped(const std::string& s) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::string moneyText(int64_t c) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lld.%02lld", static_cast<long long>(c / 100),
                  static_cast<long long>(c % 100));
    return buf;
}

std::optional<int64_t> wholePart(const std::string& s) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return std::nullopt;
    int64_t value = 0;
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        if (value > (INT64_MAX - (s[i] - '0')) / 10) return std::nullopt;
        value = value * 10 + (s[i] - '0');
    }
    if (i < s.size() && s[i] != '.') return std::nullopt;
    return negative ? -value : value;
}

std::string dayAndTime(int64_t unixSeconds) {
    // The machine's zone (TZ honoured), as the application on the same machine counts its days.
    std::time_t t = static_cast<std::time_t>(unixSeconds);
    std::tm tm{};
    localtime_r(&t, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

void substituteRoot(json& j, const std::string& root) {
    if (j.is_string()) {
        auto s = j.get<std::string>();
        size_t pos = 0;
        bool changed = false;
        const std::string ph = kRootPlaceholder;
        while ((pos = s.find(ph, pos)) != std::string::npos) {
            s.replace(pos, ph.size(), root);
            pos += root.size();
            changed = true;
        }
        if (changed) j = s;
    } else if (j.is_structured()) {
        for (auto& v : j) substituteRoot(v, root);
    }
}

Reply ok(json data, const std::string& msg) {
    Reply r;
    r.body = {{"code", 101}, {"msg", msg}};
    if (!data.is_null()) r.body["data"] = std::move(data);
    return r;
}

Reply refuse(int code, const std::string& msg) {
    Reply r;
    r.body = {{"code", code}, {"msg", msg}};
    return r;
}

Reply html(const std::string& title, const std::string& body) {
    Reply r;
    r.contentType = "text/html; charset=utf-8";
    r.raw = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + title +
            "</title></head><body><h1>" + title + "</h1>" + body + "</body></html>\n";
    return r;
}

std::optional<Reply> codeRefusal(CodeCheck check) {
    if (check == CodeCheck::accepted) return std::nullopt;
    if (check == CodeCheck::spent) return refuse(202, "验证码错误次数过多，请重新获取");
    return refuse(202, "验证码错误");
}

bool validPhone(const std::string& p) {
    return p.size() == 11 && p[0] == '1' &&
           std::all_of(p.begin(), p.end(), [](char c) { return c >= '0' && c <= '9'; });
}

namespace {

std::string randomDigits(size_t n) {
    std::string hex = randomHex(n);
    std::string out;
    for (char c : hex) out.push_back(static_cast<char>('0' + hexValue(c) % 10));
    return out.substr(0, n);
}

}  // namespace

json pageJson(const Page& p, Reply& r) {
    r.body["end"] = p.end ? 1 : 0;
    return json(p.rows);
}

namespace {

// Occurrences of `what` in `text`, stopping once past `limit`.
size_t countUpTo(std::string_view text, std::string_view what, size_t limit) {
    size_t n = 0;
    for (size_t pos = text.find(what); pos != std::string_view::npos && n <= limit; pos = text.find(what, pos + what.size()))
        ++n;
    return n;
}

// At most `max` bytes of a text, cut at a character boundary, marked when cut.
std::string cutText(const std::string& s, size_t max) {
    if (s.size() <= max) return s;
    size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    return s.substr(0, n) + "…";
}

// The log's summary of a large value: long texts cut, large structures as their cut-off text.
json summarized(const json& value) {
    if (value.is_string()) return cutText(value.get<std::string>(), kLogSummaryText);
    if (value.is_object()) {
        json out = json::object();
        size_t kept = 0;
        for (auto& [k, v] : value.items()) {
            if (++kept > kLogSummaryKeys) break;
            std::string text = v.dump(-1, ' ', false, json::error_handler_t::replace);
            out[cutText(k, kLogSummaryText)] = v.is_string() || text.size() <= kLogSummaryText
                                                   ? summarized(v)
                                                   : json(cutText(text, kLogSummaryText));
        }
        return out;
    }
    std::string text = value.dump(-1, ' ', false, json::error_handler_t::replace);
    return text.size() <= kLogSummaryText ? value : json(cutText(text, kLogSummaryText));
}

bool pictureName(const std::string& path, const std::string& folder) {
    if (path.rfind(folder, 0) != 0 || path.size() <= folder.size() + 4) return false;
    if (path.compare(path.size() - 4, 4, ".png") != 0) return false;
    return std::all_of(path.begin() + static_cast<std::ptrdiff_t>(folder.size()), path.end() - 4,
                       [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

bool pagePath(const std::string& path) {
    if (path == "/" || path == "/item.php") return true;
    if (path.rfind("/wap/", 0) != 0 || path.size() == 5) return false;
    return std::all_of(path.begin() + 5, path.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '_' || c == '.' || c == '-';
    });
}

}  // namespace

Service::Service(const std::string& dataDir, ServiceConfig config, ServiceOptions options)
    : dataDir_(dataDir),
      store_(dataDir + "/zavelto.sqlite", options.demoDay),
      options_(std::move(options)),
      config_(std::move(config)) {
    resetPartners();
    std::filesystem::create_directories(dataDir_ + "/uploads");
    server_ = std::make_unique<HttpServer>(
        options_.limits, [this](HttpRequest& req) { return route(req); },
        [this](int status, const std::string& why) { return refusal(status, why); },
        [](const HttpRequest& req) { return laneOf(req); },
        [this](const HttpRequest& req) { return writes(req); });
    // Operations on a user's own data need that user's session; "uid" or "id" names the user.
    const auto owner = Access::owner;
    // Whether an operation changes stored data (then it runs as one transaction).
    const bool reads = false, writes = true;
    jsonOps_ = {
        {"get_time", {&Service::opGetTimeJson, false, false, reads}},
        {"get_ios_config", {&Service::opIosConfig, false, false, reads}},
        {"get_tao_config", {&Service::opTaoConfig, false, false, reads}},
        {"get_search_cat", {&Service::opSearchCat, false, false, reads}},
        {"get_invitePage_data", {&Service::opInvitePage, false, false, reads}},
        {"search_m", {&Service::opSearchMall, false, false, reads}},
        {"go_mall", {&Service::opGoMall, false, false, reads}},
        {"get_register_code", {&Service::opRegisterCode, true, false, writes}},
        {"register", {&Service::opRegisterPhone, true, true, writes}},
        {"get_binding_phoneNumber_code", {&Service::opBindingCode, true, false, writes}},
        {"binding_phoneNumber", {&Service::opBindingPhone, true, false, writes, owner, "uid"}},
        {"get_forgot_pwd_code", {&Service::opForgotCode, true, false, writes}},
        {"forgot_pwd_reset", {&Service::opForgotReset, true, false, writes}},
        {"get_goods", {&Service::opGoods, true, false, reads}},
        {"get_makeProfits_data", {&Service::opMakeProfits, true, false, reads}},
        {"update_userinfo", {&Service::opUpdateUserInfo, true, true, writes, owner, "id"}},
        {"update_alipay", {&Service::opUpdateAlipay, true, true, writes, owner, "id"}},
        {"get_coupon", {&Service::opGetCoupon, true, false, reads, owner, "uid"}},
        {"use_coupon", {&Service::opUseCoupon, true, false, writes, owner, "uid"}},
        {"up_push_id", {&Service::opUpPushId, true, false, writes, owner, "uid"}},
        {"mall_type", {&Service::opMallType, true, false, reads}},
        {"mall", {&Service::opMall, true, false, reads}},
        {"user_invite", {&Service::opUserInvite, true, false, reads, owner, "uid"}},
        {"invite_info", {&Service::opInviteInfo, true, false, reads, owner, "uid"}},
        {"old_invite_info", {&Service::opOldInviteInfo, true, false, reads, owner, "uid"}},
    };
    desOps_ = {
        {"get_time", {&Service::opGetTimeDes, false, true, reads}},
        {"login", {&Service::opLogin, true, true, writes}},
        {"OAuth_login", {&Service::opOAuthLogin, true, true, writes}},
        {"register", {&Service::opRegisterName, true, true, writes}},
        {"userInfo&do=my", {&Service::opUserInfoMy, true, true, reads, owner}},
        {"userInfo&do=pwd", {&Service::opUserInfoPwd, true, false, writes, owner}},
        {"userInfo&do=update", {&Service::opUserInfoUpdate, true, true, writes, owner}},
        {"get_pwd", {&Service::opGetPwd, true, false, writes}},
        {"exchange", {&Service::opExchange, true, false, writes, owner}},
        {"outCash", {&Service::opOutCash, true, false, writes, owner}},
        {"order", {&Service::opOrder, true, true, reads, owner}},
        {"getUserDetailed", {&Service::opUserDetailed, true, true, reads, owner}},
        {"msg", {&Service::opMessages, true, true, reads, owner}},
        {"feedback", {&Service::opFeedback, true, false, writes, Access::ownerIfAny}},
        {"exchange_goods", {&Service::opExchangeGoods, true, true, reads}},
        {"avatar", {&Service::opAvatar, true, false, writes, owner}},
        {"click_url", {&Service::opClickUrl, true, false, reads}},
        {"search_goods_click_url", {&Service::opClickUrl, true, false, reads}},
        {"sign", {&Service::opSign, true, false, writes, owner}},
        {"shareAwardInfo", {&Service::opShareAward, true, true, reads, owner}},
    };
    // Tests of what survives a crash stop the process between two writes of an operation.
    if (options_.testControl) store_.setAfterWrite([this] { afterWrite(); });
}

Service::~Service() = default;

int Service::bind(const std::string& host, int port) {
    port_ = server_->bind(host, port);
    if (port_ <= 0) return port_;
    publicRoot_ = options_.publicRoot;
    if (publicRoot_.empty()) {
        // The bound address; an any-address bind is reached locally through the loopback.
        std::string shown = host == "0.0.0.0" || host.empty()     ? "127.0.0.1"
                            : host == "::"                        ? "[::1]"
                            : host.find(':') != std::string::npos ? "[" + host + "]"
                                                                  : host;
        publicRoot_ = "http://" + shown + ":" + std::to_string(port_);
    }
    while (!publicRoot_.empty() && publicRoot_.back() == '/') publicRoot_.pop_back();
    std::string authority = publicRoot_.substr(publicRoot_.find("://") + 3);
    publicHost_ = authority[0] == '[' ? authority.substr(0, authority.find(']') + 1)
                                      : authority.substr(0, authority.find(':'));
    return port_;
}

bool Service::run() {
    return server_->run();
}

void Service::stop() {
    {
        std::lock_guard lock(holdMutex_);
        stopping_ = true;
    }
    holdChanged_.notify_all();  // the workers end only once no picture waits at a hold
    server_->stop();
}

void Service::setHold(bool hold) {
    {
        std::lock_guard lock(holdMutex_);
        holdPictures_ = hold;
    }
    holdChanged_.notify_all();
}

void Service::setFrameHold(bool hold) {
    {
        std::lock_guard lock(holdMutex_);
        holdFrames_ = hold;
    }
    holdChanged_.notify_all();
}

void Service::waitWhileHeld(bool frame) {
    std::unique_lock lock(holdMutex_);
    bool& held = frame ? holdFrames_ : holdPictures_;
    if (!held || stopping_) return;
    ++picturesHeld_;
    holdChanged_.notify_all();  // for a test waiting until so many are held
    holdChanged_.wait(lock, [&] { return !held || stopping_; });
    --picturesHeld_;
}

HttpResponse Service::refusal(int status, const std::string& why) {
    int code = 0;
    {
        std::lock_guard lock(configMutex_);
        code = config_.signFailCode;
    }
    const char* msg = status == 413   ? "请求数据过大"
                      : status == 408 ? "请求超时"
                      : status == 503 ? "服务器繁忙，请稍后再试"
                                      : "请求数据无法解析";
    HttpResponse r;
    r.status = status;
    r.contentType = "application/json; charset=utf-8";
    r.body = dump(json{{"code", code}, {"msg", msg}, {"error", why}});
    return r;
}

// Calls are what the application's code asks and waits on: both interfaces of the protocol,
// the goods search, the suggestions and the version lookup; and the control interface, which
// tests use while pictures are busy. Uploaded avatars are files ready on the disk, only read
// and sent: they and their pieces have workers of their own, never behind pictures to be made
// or the frames of animated ones being drawn.
// The rest (pictures, pages) is what picture and web views load.
Lane Service::laneOf(const HttpRequest& req) {
    const std::string& path = req.path;
    const bool call = path == "/api/client.php" || path == "/index.php" ||
                      path == "/api/search_tbk_v3.php" || path == "/sug" || path == "/lookup" ||
                      path == "/__test" || path.rfind("/__test/", 0) == 0;
    if (call) return Lane::calls;
    return path.rfind("/uploads/", 0) == 0 ? Lane::pieces : Lane::pictures;
}

HttpResponse Service::route(HttpRequest& req) {
    const std::string& path = req.path;
    if (path == "/__test" || path.rfind("/__test/", 0) == 0) {
        if (!options_.testControl) return plainResponse(404, "");
        if (!req.fromLoopback) {
            return plainResponse(403, "the control interface answers loopback clients only\n");
        }
        return control(req);
    }
    bool get = req.method == "GET";
    if (get || req.method == "POST") {
        if (path == "/api/client.php") return handleApi(req, "json");
        if (path == "/index.php") {
            if (get && isPartnerCallback(queryOf(req.target))) {
                return handlePlain(req, "page", &Service::pagePartnerCallback);
            }
            return handleApi(req, "enciphered");
        }
    }
    if (!get) return plainResponse(404, "");
    if (path == "/api/search_tbk_v3.php") return handlePlain(req, "search", &Service::pageSearch);
    if (path == "/sug") return handlePlain(req, "search", &Service::pageSuggestion);
    if (path == "/lookup") return handlePlain(req, "page", &Service::pageLookup);
    if (path.rfind("/images/", 0) == 0 && isPictureName(path.substr(8))) {
        return handlePlain(req, "image", &Service::pageImage);
    }
    if (pictureName(path, "/uploads/")) return handlePlain(req, "image", &Service::pageImage);
    if (path == "/shop/gone.php") return goneShop(req);
    if (isShopPage(path)) return handlePlain(req, "page", &Service::pageShop);
    if (isPartnerPage(path)) return handlePlain(req, "page", &Service::pagePartner);
    if (path == kOfferWallPage) return offerWallPage(req);
    if (pagePath(path)) return handlePlain(req, "page", &Service::pageHtml);
    return plainResponse(404, "");
}

// The operation a request names: from its query on the protocol's interfaces, else its path.
std::string Service::opName(const HttpRequest& req, const std::string& iface) {
    auto query = queryOf(req.target);
    if (iface == "json") return query.count("m") ? query["m"] : "";
    if (iface == "enciphered") {
        std::string op = query.count("act") ? query["act"] : "";
        if (query.count("do")) op += "&do=" + query["do"];
        if (query.count("mod") && query["mod"] != "phone_api") op = query["mod"] + ":" + op;
        return op;
    }
    return req.path;
}

// Whether a request names an operation that changes stored data (asked on the server's reading
// thread, before the request is made: the tables of operations are not changed after start).
bool Service::writes(const HttpRequest& req) const {
    if (req.method != "GET" && req.method != "POST") return false;
    const bool json = req.path == "/api/client.php";
    if (!json && (req.path != "/index.php" || (req.method == "GET" && isPartnerCallback(queryOf(req.target))))) {
        return false;
    }
    const auto& table = json ? jsonOps_ : desOps_;
    auto op = table.find(opName(req, json ? "json" : "enciphered"));
    return op != table.end() && op->second.writes;
}

Incoming Service::decode(const HttpRequest& req, const std::string& iface) {
    Incoming in;
    in.iface = iface;
    in.method = req.method;
    in.target = req.target;
    in.remoteAddr = req.remoteAddr;
    in.remotePort = req.remotePort;
    // Links in replies follow the address the client used; links that leave this exchange
    // (mail) and the cookie's domain use the public root instead.
    std::string host = req.header("Host");
    in.root = host.empty() ? publicRoot_ : "http://" + host;

    auto query = queryOf(req.target);
    in.op = opName(req, iface);

    // Cookie of a logged-in site session.
    std::string cookie = req.header("Cookie");
    std::string prefix = std::string(kCookieName) + "=";
    for (size_t pos = 0; pos < cookie.size();) {
        size_t semi = cookie.find(';', pos);
        std::string item =
            trim(cookie.substr(pos, semi == std::string::npos ? std::string::npos : semi - pos));
        if (item.rfind(prefix, 0) == 0)
            in.sessionUser = store_.sessionUser(item.substr(prefix.size()));
        if (semi == std::string::npos) break;
        pos = semi + 1;
    }

    std::string contentType = req.header("Content-Type");
    if (contentType.rfind("multipart/form-data", 0) == 0) {
        in.form = "multipart";
        const std::string boundary = headerParam(contentType, "boundary");
        if (!boundary.empty() && countUpTo(req.body, "--" + boundary, kMaxBodyFields + 1) > kMaxBodyFields + 1) {
            in.decodeError = "body has more than " + std::to_string(kMaxBodyFields) + " parts";
            return in;
        }
        auto parts = parseMultipart(req.body, boundary);
        if (!parts) {
            in.decodeError = "body is not a complete multipart form";
            return in;
        }
        for (const auto& part : *parts) {
            if (part.filename.empty()) {
                in.fields[part.name] = part.content;
            } else {
                in.files[part.name] = {{"filename", part.filename},
                                       {"content_type", part.contentType},
                                       {"size", part.content.size()},
                                       {"md5", md5Hex(part.content)}};
                in.fileBytes[part.name] = part.content;
            }
        }
        return in;
    }

    std::string body = trim(req.body);
    if (req.method == "GET" || body.empty()) {
        in.form = req.method == "GET" ? "query" : "none";
        for (auto& [k, v] : query) {
            if (k != "m" && k != "mod" && k != "act" && k != "do") in.fields[k] = v;
        }
        return in;
    }
    if ((body[0] == '{' || body[0] == '"') && !nestingWithin(body, kMaxJsonDepth)) {
        in.form = body[0] == '{' ? "json" : "des";
        in.decodeError = "body nested deeper than " + std::to_string(kMaxJsonDepth) + " levels or with more than " +
                         std::to_string(kMaxBodyFields) + " fields";
        return in;
    }
    if (body[0] == '{') {
        in.form = "json";
        json parsed = json::parse(body, nullptr, false);
        if (parsed.is_object()) {
            in.fields = parsed;
        } else {
            in.decodeError = "body is not a JSON object";
        }
    } else if (body[0] == '"') {
        // The enciphered form: a JSON string literal holding Base64 of DES of the JSON fields.
        in.form = "des";
        json literal = json::parse(body, nullptr, false);
        if (!literal.is_string()) {
            in.decodeError = "body is not a JSON string literal";
            return in;
        }
        auto plain = desDecryptBase64(literal.get<std::string>());
        if (!plain) {
            in.decodeError = "body does not decipher";
            return in;
        }
        in.plain = *plain;
        if (!nestingWithin(*plain, kMaxJsonDepth)) {
            in.decodeError = "deciphered text nested deeper than " + std::to_string(kMaxJsonDepth) +
                             " levels or with more than " + std::to_string(kMaxBodyFields) + " fields";
            return in;
        }
        json parsed = json::parse(*plain, nullptr, false);
        if (parsed.is_object()) {
            in.fields = parsed;
        } else {
            in.decodeError = "deciphered text is not a JSON object";
        }
    } else {
        in.form = "form";
        if (countUpTo(body, "&", kMaxBodyFields) >= kMaxBodyFields) {
            in.decodeError = "body has more than " + std::to_string(kMaxBodyFields) + " fields";
            return in;
        }
        for (auto& [k, v] : parseForm(body)) in.fields[k] = v;
    }
    return in;
}

int64_t Service::clockSeconds() {
    std::lock_guard lock(configMutex_);
    if (config_.fixedTime) {
        if (auto fixed = integer(*config_.fixedTime)) return *fixed;
    }
    return static_cast<int64_t>(std::time(nullptr));
}

std::string Service::issueTime() {
    std::lock_guard lock(configMutex_);
    std::string t = config_.fixedTime ? *config_.fixedTime : std::to_string(std::time(nullptr));
    auto now = std::chrono::steady_clock::now();
    issuedTimes_[t] = now;
    // Forget stamps long past their window so the table stays small.
    auto limit = std::chrono::milliseconds(std::max<int64_t>(config_.timeWindowMs, 0) * 2 + 60000);
    for (auto it = issuedTimes_.begin(); it != issuedTimes_.end();) {
        it = now - it->second > limit ? issuedTimes_.erase(it) : std::next(it);
    }
    return t;
}

std::string Service::timeState(const std::string& time) {
    std::lock_guard lock(configMutex_);
    auto it = issuedTimes_.find(time);
    if (it == issuedTimes_.end()) return "unknown_time";
    auto age = std::chrono::steady_clock::now() - it->second;
    if (age > std::chrono::milliseconds(config_.timeWindowMs)) return "expired_time";
    return "ok";
}

void Service::checkSignature(Incoming& in) {
    if (!in.decodeError.empty()) {
        in.signature = "missing";
        return;
    }
    auto code = in.fields.find("code");
    auto time = in.fields.find("time");
    if (code == in.fields.end() || time == in.fields.end() || !code->is_string()) {
        in.signature = "missing";
        return;
    }
    std::string t;
    if (time->is_string()) {
        t = time->get<std::string>();
    } else if (time->is_number_integer() || time->is_number_unsigned()) {
        t = dump(*time);
    } else {
        in.signature = "missing";
        return;
    }
    if (code->get<std::string>() != signatureFor(t)) {
        in.signature = "bad_code";
        return;
    }
    in.signature = timeState(t);
}

void Service::logRequest(const Incoming& in, const HttpRequest& req) {
    json headers = json::object();
    for (const auto& [k, v] : req.headers) headers[k] = v;
    json entry = {{"iface", in.iface},   {"op", in.op},
                  {"method", in.method}, {"target", in.target},
                  {"form", in.form},     {"fields", in.fields},
                  {"files", in.files},   {"signature", in.signature},
                  {"headers", headers},  {"body_size", req.body.size()}};
    if (in.plain) entry["plain"] = *in.plain;
    if (!in.notes.is_null()) entry["notes"] = in.notes;
    if (!in.decodeError.empty()) entry["decode_error"] = in.decodeError;
    entry["session_user"] = in.sessionUser ? json(std::to_string(*in.sessionUser)) : json(nullptr);
    std::unique_lock lock(logMutex_);
    int64_t seq = ++logSeq_;
    lock.unlock();
    entry["seq"] = seq;
    std::string text = dump(entry);
    if (text.size() > kLogEntryWhole) {
        entry["fields"] = summarized(entry["fields"]);
        if (in.plain) entry["plain"] = cutText(*in.plain, kLogSummaryText);
        entry["target"] = cutText(in.target, kLogSummaryText);
        entry["truncated"] = true;
        text = dump(entry);
    }
    lock.lock();
    logBytes_ += text.size();
    // Entries of concurrent requests may arrive out of turn; keep the log in order of seq.
    auto at = log_.end();
    while (at != log_.begin() && std::prev(at)->seq > seq) --at;
    log_.insert(at, LogEntry{seq, in.iface, in.op, std::move(text)});
    while (log_.size() > kLogMaxEntries || logBytes_ > kLogMaxBytes) {
        logBytes_ -= log_.front().text.size();
        log_.pop_front();
    }
}

std::optional<json> Service::takeScript(const std::string& iface, const std::string& op,
                                        const json& fields) {
    std::lock_guard lock(scriptMutex_);
    std::string base = op.substr(0, op.find('&'));
    // A script that names fields waits for the request that carries them (compared as text),
    // so that a test can pick one page of a list or one order.
    auto fieldsMatch = [&](const json& script) {
        if (!script.contains("fields")) return true;
        for (auto& [key, value] : script["fields"].items()) {
            if (text(fields, key.c_str()) != text(json{{"v", value}}, "v")) return false;
        }
        return true;
    };
    for (auto it = scripts_.begin(); it != scripts_.end(); ++it) {
        std::string sop = it->value("op", "");
        std::string siface = it->value("iface", "");
        if ((sop != op && sop != base) || (!siface.empty() && siface != iface)) continue;
        if (!fieldsMatch(*it)) continue;
        json script = *it;
        if (!it->value("sticky", false)) {
            int64_t times = it->value("times", 1) - 1;
            if (times <= 0) {
                scripts_.erase(it);
            } else {
                (*it)["times"] = times;
            }
        }
        return script;
    }
    return std::nullopt;
}

std::optional<HttpResponse> Service::scriptedCut(const std::optional<json>& script) {
    if (!script || (!script->value("stall", false) && !script->value("drop", false))) {
        return std::nullopt;
    }
    HttpResponse cut;
    cut.ending =
        script->value("stall", false) ? HttpResponse::Ending::stall : HttpResponse::Ending::drop;
    cut.stallMs = script->value("stall_ms", 120000);
    cut.note = "scripted";
    return cut;
}

namespace {

// The operation this thread runs and how many writes it has made, for afterWrite().
struct Running {
    const std::string* op = nullptr;
    int writes = 0;
};
thread_local Running running;

}  // namespace

Reply Service::runHandler(Reply (Service::*handler)(Incoming&), Incoming& in, bool writes,
                          std::optional<bool> encipher) {
    try {
        Reply reply;
        running = Running{&in.op, 0};
        if (writes) {
            store_.transaction([&] { reply = (this->*handler)(in); });
        } else {
            reply = (this->*handler)(in);
        }
        running = Running{};
        if (encipher && !reply.raw) reply.encipherData = *encipher;
        return reply;
    } catch (const std::exception& e) {
        running = Running{};
        Reply reply = refuse(0, std::string("服务器错误: ") + e.what());
        reply.httpStatus = 500;
        return reply;
    }
}

void Service::afterWrite() {
    if (!running.op) return;
    ++running.writes;
    std::lock_guard lock(configMutex_);
    if (!config_.dieOp.empty() && config_.dieOp == *running.op && config_.dieAfterWrite == running.writes) {
        HttpServer::log("WARN", "dying after write " + std::to_string(running.writes) + " of " + *running.op +
                                    ", as configured");
        raise(SIGKILL);
    }
}

void Service::addExtra(Reply& reply, const std::optional<json>& script) {
    if (!script || !script->contains("extra") || !(*script)["extra"].is_object()) return;
    for (auto& [k, v] : (*script)["extra"].items()) reply.body[k] = v;
}

HttpResponse Service::send(const Incoming& in, Reply reply, const std::optional<json>& script) {
    std::string body;
    if (reply.raw) {
        body = std::move(*reply.raw);
    } else {
        json& b = reply.body;
        if (script) {
            if (script->value("omit_time", false)) {
                b.erase("time");
                if (b.contains("data") && b["data"].is_object()) b["data"].erase("time");
            }
            if (script->value("time_as_number", false)) {
                for (json* holder :
                     {&b, b.contains("data") && b["data"].is_object() ? &b["data"] : nullptr}) {
                    if (!holder || !holder->contains("time")) continue;
                    auto n = integer(text(*holder, "time"));
                    if (n) (*holder)["time"] = *n;
                }
            }
        }
        substituteRoot(b, in.root);
        if (reply.encipherData && b.contains("data")) b["data"] = desEncryptBase64(dump(b["data"]));
        if (script && script->value("undecipherable", false)) {
            // Valid Base64 of six bytes: no whole DES block, so it can never decipher.
            b["data"] = "Zm9vYmFy";
        }
        body = dump(b);
        if (script && script->value("malformed", false)) body = body.substr(0, body.size() / 2);
    }
    const bool scriptedBody = script && script->contains("body") && (*script)["body"].is_string();
    if (scriptedBody) body = (*script)["body"].get<std::string>();
    std::string contentType = reply.contentType;
    int status = reply.httpStatus;
    if (script) {
        if (script->contains("content_type"))
            contentType = script->value("content_type", contentType);
        if (script->contains("http_status")) status = script->value("http_status", status);
    }
    HttpResponse res;
    res.status = status;
    res.contentType = contentType;
    res.headers = std::move(reply.headers);
    res.body = std::move(body);
    if (!scriptedBody) res.stream = std::move(reply.stream);
    res.delayMs = reply.delayMs;
    if (script) res.delayMs = std::max(res.delayMs, script->value("delay_ms", 0));
    if (script && script->contains("hold")) res.gate = (*script)["hold"].get<std::string>();
    res.note = "op=" + (in.op.empty() ? std::string("-") : in.op);
    if (in.sessionUser) res.note += " user=" + std::to_string(*in.sessionUser);
    if (!reply.raw && reply.body.contains("code")) res.note += " code=" + dump(reply.body["code"]);
    return res;
}

HttpResponse Service::handleApi(const HttpRequest& req, const std::string& iface) {
    Incoming in = decode(req, iface);
    auto& table = iface == "json" ? jsonOps_ : desOps_;
    auto opIt = table.find(in.op);
    if (opIt == table.end()) {
        in.signature = "unsigned";
        logRequest(in, req);
        if (iface == "enciphered" && in.op.rfind("api:", 0) == 0) {
            return send(in, html("淘宝授权登录", "<p>授权完成，请返回应用。</p>"), std::nullopt);
        }
        Reply r = refuse(0, "未知操作: " + in.op);
        r.httpStatus = 404;
        return send(in, r, std::nullopt);
    }
    const Operation& op = opIt->second;
    bool timeRequest =
        op.handler == &Service::opGetTimeJson || op.handler == &Service::opGetTimeDes;
    if (op.signedCall) {
        checkSignature(in);
    } else if (timeRequest) {
        // The time request carries only MD5 of the signing key.
        in.signature = in.decodeError.empty() && text(in.fields, "code") == timeRequestCode()
                           ? "ok"
                           : "bad_code";
    } else {
        in.signature = "unsigned";
    }
    logRequest(in, req);

    auto script = takeScript(iface, in.op, in.fields);
    if (auto cut = scriptedCut(script)) return *cut;

    Reply reply;
    ServiceConfig cfg;
    {
        std::lock_guard lock(configMutex_);
        cfg = config_;
    }
    if (script &&
        (script->contains("code") || script->contains("data") || script->contains("msg"))) {
        // A scripted reply stands in for the operation: code, msg and data as given.
        reply.body = json::object();
        reply.body["code"] = script->contains("code") ? (*script)["code"] : json(101);
        if (script->contains("msg")) reply.body["msg"] = (*script)["msg"];
        if (script->contains("data")) reply.body["data"] = (*script)["data"];
        reply.encipherData = script->value("encipher", op.encipher);
        addExtra(reply, script);
    } else if ((op.signedCall || timeRequest) && in.signature != "ok") {
        reply =
            refuse(cfg.signFailCode, in.decodeError.empty() ? cfg.signFailMsg : "请求数据无法解析");
    } else if (!in.decodeError.empty()) {
        reply = refuse(cfg.signFailCode, "请求数据无法解析");
    } else if (auto denied = accessRefusal(op, in)) {
        reply = *denied;
    } else {
        reply = runHandler(op.handler, in, op.writes, op.encipher);
        addExtra(reply, script);
    }
    return send(in, std::move(reply), script);
}

std::optional<Reply> Service::accessRefusal(const Operation& op, const Incoming& in) {
    if (op.access == Access::open) return std::nullopt;
    if (!in.sessionUser) {
        if (op.access == Access::ownerIfAny) return std::nullopt;
        return refuse(201, "请先登录");
    }
    if (integer(text(in.fields, op.ownerKey)) != in.sessionUser) {
        return refuse(201, "无权操作其他用户的数据");
    }
    return std::nullopt;
}

HttpResponse Service::handlePlain(const HttpRequest& req, const std::string& iface,
                                  Reply (Service::*page)(Incoming&)) {
    Incoming in = decode(req, iface);
    in.signature = "unsigned";
    logRequest(in, req);
    auto script = takeScript(iface, in.op, in.fields);
    if (auto cut = scriptedCut(script)) return *cut;
    return send(in, runHandler(page, in), script);
}

// ---------------------------------------------------------------------------------------------
// Helpers of the operations

std::optional<json> Service::userOf(const Incoming& in, const char* key) {
    auto id = integer(text(in.fields, key));
    if (!id) return std::nullopt;
    return store_.userById(*id);
}

std::string Service::sendSmsCode(const std::string& phone, const std::string& purpose) {
    std::string code = randomDigits(6);
    store_.addOutbox("sms", phone, purpose, code,
                     "【Zavelto】您的验证码是" + code + "，10分钟内有效，请勿告诉他人。");
    return code;
}

Reply Service::sessionReply(const json& user, Incoming&, json extra) {
    std::string token = store_.newSession(std::stoll(user["id"].get<std::string>()));
    Reply r = ok(withCounts(store_, user), extra.value("msg", std::string("登录成功")));
    r.body["setCookie"] = {{"var", kCookieName}, {"value", token}, {"domain", publicHost_}};
    for (auto& [k, v] : extra.items()) {
        if (k != "msg") r.body[k] = v;
    }
    r.headers.emplace_back("Set-Cookie",
                           std::string(kCookieName) + "=" + token + "; path=/; HttpOnly");
    return r;
}

// ---------------------------------------------------------------------------------------------
// JSON interface

Reply Service::opGetTimeJson(Incoming&) {
    Reply r = ok(nullptr);
    r.body["time"] = issueTime();
    return r;
}

Reply Service::opUpPushId(Incoming& in) {
    if (text(in.fields, "pushId").empty()) return refuse(202, "pushId不能为空");
    store_.addItem("push_id", intOr(in.fields, "uid", 0), {{"pushId", text(in.fields, "pushId")}});
    return ok(nullptr, "上传成功");
}

// ---------------------------------------------------------------------------------------------
// Enciphered interface

Reply Service::opGetTimeDes(Incoming&) {
    return ok({{"time", issueTime()}});
}

// ---------------------------------------------------------------------------------------------
// Pages and pictures

// The store lookup document of the application's version check.
Reply Service::pageLookup(Incoming&) {
    Reply r;
    r.body = {{"resultCount", 1},
              {"results",
               {{{"trackName", "Zavelto"},
                 {"version", "9.9.0"},
                 {"trackViewUrl", std::string(kRootPlaceholder) + "/wap/help-1.php"}}}}};
    return r;
}

Reply Service::pageImage(Incoming& in) {
    // The decoded path, as the route checked it.
    const std::string& path = in.op;
    Reply r;
    // An uploaded file (its name checked by the route) goes from the disk as its peer takes it.
    const bool uploaded = path.rfind("/uploads/", 0) == 0;
    if (options_.testControl && !uploaded) waitWhileHeld();
    auto picture = uploaded ? pictureFromFile(dataDir_ + path)
                            : pictureNamed(path.substr(std::string("/images/").size()));
    if (!picture) {
        r = html("页面不存在", "");
        r.httpStatus = 404;
        return r;
    }
    if (picture->status == 503 && !picture->stream && picture->bytes.empty()) {
        // The file is there, but could not be opened now: the client may ask again.
        r = html("服务器繁忙，请稍后再试", "");
        r.httpStatus = 503;
        return r;
    }
    r.httpStatus = picture->status;
    r.contentType = picture->contentType;
    r.raw = std::move(picture->bytes);
    r.stream = std::move(picture->stream);
    if (options_.testControl && !uploaded && r.stream) {
        r.stream = std::make_shared<HeldPieces>(std::move(r.stream), [this] { waitWhileHeld(true); });
    }
    r.delayMs = picture->delayMs;
    return r;
}

}  // namespace zvt::service
