#include "tests/support/ServiceProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zvt::test {

namespace {

std::string jsonString(const std::string& s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    return out + "\"";
}

std::string findExecutable() {
    if (const char* env = std::getenv("ZVT_SERVICE_BIN"); env && *env) return env;
    std::error_code ec;
    auto dir = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
    for (; !dir.empty(); dir = dir.parent_path()) {
        auto candidate = dir / "service" / "zavelto-service";
        if (std::filesystem::exists(candidate, ec)) return candidate.string();
        if (dir == dir.parent_path()) break;
    }
    throw std::runtime_error("zavelto-service not found; build it or set ZVT_SERVICE_BIN");
}

bool iequals(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

}  // namespace

std::string percentEncode(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out.push_back(static_cast<char>(c));
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string ScriptedReply::toJSON() const {
    std::string out = "{\"op\":" + jsonString(op);
    auto add = [&](const char* key, const std::string& rawValue) {
        out += ",\"" + std::string(key) + "\":" + rawValue;
    };
    if (!iface.empty()) add("iface", jsonString(iface));
    if (!fieldsJSON.empty()) add("fields", fieldsJSON);
    if (codeText) {
        add("code", jsonString(*codeText));
    } else if (code) {
        add("code", std::to_string(*code));
    }
    if (msg) add("msg", jsonString(*msg));
    if (dataJSON) add("data", *dataJSON);
    if (encipher) add("encipher", *encipher ? "true" : "false");
    if (!extraJSON.empty()) add("extra", extraJSON);
    if (httpStatus) add("http_status", std::to_string(httpStatus));
    if (!contentType.empty()) add("content_type", jsonString(contentType));
    if (delayMs) add("delay_ms", std::to_string(delayMs));
    if (stall) add("stall", "true");
    if (stallMs) add("stall_ms", std::to_string(stallMs));
    if (drop) add("drop", "true");
    if (malformed) add("malformed", "true");
    if (undecipherable) add("undecipherable", "true");
    if (omitTime) add("omit_time", "true");
    if (timeAsNumber) add("time_as_number", "true");
    if (rawBody) add("body", jsonString(*rawBody));
    if (sticky) add("sticky", "true");
    if (times != 1) add("times", std::to_string(times));
    if (!hold.empty()) add("hold", jsonString(hold));
    return out + "}";
}

std::string ServiceProcess::Response::header(const std::string& name) const {
    for (const auto& [k, v] : headers) {
        if (iequals(k, name)) return v;
    }
    return {};
}

ServiceProcess::ServiceProcess() : ServiceProcess(Options{}) {}

ServiceProcess::ServiceProcess(Options options) : options_(std::move(options)) {
    if (options_.executable.empty()) options_.executable = findExecutable();
    std::string base = std::filesystem::temp_directory_path().string() + "/zvt-service-XXXXXX";
    std::vector<char> templ(base.begin(), base.end());
    templ.push_back('\0');
    if (!mkdtemp(templ.data())) {
        throw std::runtime_error(std::string("mkdtemp: ") + std::strerror(errno));
    }
    dataDir_ = templ.data();
    port_ = options_.port;
    try {
        launch();
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove_all(dataDir_, ec);
        throw;
    }
}

ServiceProcess::~ServiceProcess() {
    stop();
    std::error_code ec;
    std::filesystem::remove_all(dataDir_, ec);
}

std::string ServiceProcess::serviceLog() const {
    std::ifstream file(dataDir_ + "/service.log");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ServiceProcess::rootURL() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

void ServiceProcess::start() {
    if (running()) return;
    launch();
}

void ServiceProcess::launch() {
    // Everything the child needs is built before fork: after it only exec-safe calls remain.
    std::vector<std::string> args = {options_.executable, "--port", std::to_string(port_),
                                     "--data-dir",        dataDir_, "--bind",
                                     "127.0.0.1"};
    if (options_.testControl) args.push_back("--test-control");
    if (!options_.demoDay.empty()) args.insert(args.end(), {"--demo-day", options_.demoDay});
    args.insert(args.end(), options_.extraArgs.begin(), options_.extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The child's environment: this process's, with the given settings in place of any of
    // the same name.
    std::vector<std::string> environment = options_.environment;
    for (char** e = environ; *e; ++e) {
        std::string_view entry(*e);
        auto name = entry.substr(0, entry.find('=') + 1);
        bool replaced =
            std::any_of(options_.environment.begin(), options_.environment.end(),
                        [&](const std::string& given) { return given.rfind(name, 0) == 0; });
        if (!replaced) environment.emplace_back(entry);
    }
    std::vector<char*> envp;
    for (auto& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    int logFd = -1;
    if (options_.captureLog) {
        logFd = open((dataDir_ + "/service.log").c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                     0600);
        if (logFd < 0)
            throw std::runtime_error(std::string("service log: ") + std::strerror(errno));
    }

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    }
    pid_t parent = getpid();
    pid_t child = fork();
    if (child < 0) {
        close(fds[0]);
        close(fds[1]);
        if (logFd >= 0) close(logFd);
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    }
    if (child == 0) {
        // The service goes when the test process goes, even after a crash.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        dup2(fds[1], STDOUT_FILENO);
        if (logFd >= 0) dup2(logFd, STDERR_FILENO);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (options_.descriptors > 0) {
            const rlimit files{static_cast<rlim_t>(options_.descriptors), static_cast<rlim_t>(options_.descriptors)};
            if (setrlimit(RLIMIT_NOFILE, &files) != 0) _exit(126);
        }
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(fds[1]);
    if (logFd >= 0) close(logFd);
    pid_ = child;

    // Read the first line: "listening on 127.0.0.1:PORT".
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) break;
        pollfd p{fds[0], POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) break;
        char buf[256];
        ssize_t n = read(fds[0], buf, sizeof buf);
        if (n <= 0) break;
        line.append(buf, static_cast<size_t>(n));
    }
    close(fds[0]);
    auto colon = line.rfind(':');
    int port = 0;
    if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos) {
        port = std::atoi(line.c_str() + colon + 1);
    }
    if (port <= 0) {
        stop();
        throw std::runtime_error("zavelto-service did not start: \"" + line + "\"");
    }
    port_ = port;
}

int ServiceProcess::stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int status = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r == pid_ || (r < 0 && errno != EINTR)) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        // Waiting for a process to exit, not for a timer: poll its state briefly.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return status;
}

ServiceProcess::Response ServiceProcess::request(
    const std::string& method, const std::string& target, const std::string& body,
    const std::string& contentType,
    const std::vector<std::pair<std::string, std::string>>& headers) const {
    Response response;
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return response;
    timeval tv{30, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port_));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        close(fd);
        return response;
    }
    bool ownHost = std::any_of(headers.begin(), headers.end(),
                               [](const auto& h) { return iequals(h.first, "Host"); });
    std::string req = method + " " + target + " HTTP/1.1\r\n";
    if (!ownHost) req += "Host: 127.0.0.1:" + std::to_string(port_) + "\r\n";
    req += "Connection: close\r\n";
    if (!contentType.empty()) req += "Content-Type: " + contentType + "\r\n";
    for (const auto& [k, v] : headers) req += k + ": " + v + "\r\n";
    if (!body.empty() || method == "POST" || method == "PUT") {
        req += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    }
    req += "\r\n" + body;
    for (size_t sent = 0; sent < req.size();) {
        ssize_t n = send(fd, req.data() + sent, req.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            close(fd);
            return response;
        }
        sent += static_cast<size_t>(n);
    }
    std::string raw;
    char buf[16384];
    for (;;) {
        ssize_t n = recv(fd, buf, sizeof buf, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        raw.append(buf, static_cast<size_t>(n));
    }
    close(fd);

    auto headEnd = raw.find("\r\n\r\n");
    if (raw.rfind("HTTP/", 0) != 0 || headEnd == std::string::npos) return response;
    std::string head = raw.substr(0, headEnd);
    size_t lineEnd = head.find("\r\n");
    std::string statusLine = head.substr(0, lineEnd);
    auto sp = statusLine.find(' ');
    if (sp == std::string::npos) return response;
    int status = std::atoi(statusLine.c_str() + sp + 1);
    size_t length = std::string::npos;
    bool chunked = false;
    for (size_t pos = lineEnd; pos != std::string::npos && pos < head.size();) {
        size_t next = head.find("\r\n", pos + 2);
        std::string h =
            head.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
        auto colon = h.find(':');
        if (colon != std::string::npos) {
            std::string k = h.substr(0, colon);
            std::string v = h.substr(colon + 1);
            v.erase(0, v.find_first_not_of(' '));
            if (iequals(k, "Content-Length")) length = std::strtoul(v.c_str(), nullptr, 10);
            if (iequals(k, "Transfer-Encoding") && v.find("chunked") != std::string::npos)
                chunked = true;
            response.headers.emplace_back(k, v);
        }
        pos = next;
    }
    std::string rest = raw.substr(headEnd + 4);
    if (chunked) {
        std::string decoded;
        size_t pos = 0;
        for (;;) {
            size_t eol = rest.find("\r\n", pos);
            if (eol == std::string::npos) return Response{};
            size_t size = std::strtoul(rest.c_str() + pos, nullptr, 16);
            if (size == 0) break;
            if (eol + 2 + size > rest.size()) return Response{};
            decoded += rest.substr(eol + 2, size);
            pos = eol + 2 + size + 2;
        }
        rest = decoded;
    } else if (length != std::string::npos) {
        if (rest.size() < length) return Response{};  // cut short: a transport failure
        rest.resize(length);
    }
    response.status = status;
    response.body = rest;
    return response;
}

std::string ServiceProcess::control(const std::string& method, const std::string& target,
                                    const std::string& body) const {
    Response r = request(method, target, body, body.empty() ? "" : "application/json");
    if (r.status < 200 || r.status > 299) {
        throw std::runtime_error("control call " + method + " " + target + " failed with status " +
                                 std::to_string(r.status) + ": " + r.body);
    }
    return r.body;
}

static std::string filterQuery(const std::string& op, const std::string& iface) {
    std::string q;
    if (!op.empty()) q += "op=" + percentEncode(op);
    if (!iface.empty()) q += std::string(q.empty() ? "" : "&") + "iface=" + percentEncode(iface);
    return q.empty() ? q : "?" + q;
}

std::string ServiceProcess::requestLog(const std::string& op, const std::string& iface) const {
    return control("GET", "/__test/log" + filterQuery(op, iface));
}

int ServiceProcess::requestCount(const std::string& op, const std::string& iface) const {
    return std::atoi(control("GET", "/__test/log/count" + filterQuery(op, iface)).c_str());
}

void ServiceProcess::clearLog() const {
    control("POST", "/__test/log/clear");
}

void ServiceProcess::script(const std::string& scriptJSON) const {
    control("POST", "/__test/script", scriptJSON);
}

void ServiceProcess::clearScripts() const {
    control("POST", "/__test/script/clear");
}

void ServiceProcess::release(const std::string& hold) const {
    control("POST", "/__test/release", "{\"hold\":" + jsonString(hold) + "}");
}

void ServiceProcess::reset(bool reseed) const {
    control("POST", reseed ? "/__test/reset?reseed=1" : "/__test/reset");
}

std::string ServiceProcess::configure(const std::string& configJSON) const {
    return control("POST", "/__test/config", configJSON);
}

std::string ServiceProcess::setUserFields(const std::string& fieldsJSON) const {
    return control("POST", "/__test/user", fieldsJSON);
}

std::string ServiceProcess::smsOutbox() const {
    return control("GET", "/__test/sms");
}

std::string ServiceProcess::mailOutbox() const {
    return control("GET", "/__test/mail");
}

std::string ServiceProcess::latestSmsCode(const std::string& phone,
                                          const std::string& purpose) const {
    Response r = request("GET", "/__test/sms/latest?address=" + percentEncode(phone) +
                                    (purpose.empty() ? "" : "&purpose=" + percentEncode(purpose)));
    return r.status == 200 ? r.body : std::string();
}

std::string ServiceProcess::latestMailCode(const std::string& email,
                                           const std::string& purpose) const {
    Response r = request("GET", "/__test/mail/latest?address=" + percentEncode(email) +
                                    (purpose.empty() ? "" : "&purpose=" + percentEncode(purpose)));
    return r.status == 200 ? r.body : std::string();
}

}  // namespace zvt::test
