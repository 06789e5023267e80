#include "platform/network/URLParsing.h"

#include <cctype>
#include <charconv>

namespace zvt {

namespace {

bool isUnreserved(unsigned char c) {
    return std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

bool isSubDelim(unsigned char c) {
    switch (c) {
        case '!': case '$': case '&': case '\'': case '(': case ')':
        case '*': case '+': case ',': case ';': case '=':
            return true;
        default:
            return false;
    }
}

bool isHex(unsigned char c) { return std::isxdigit(c) != 0; }

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c - 'A' + 10;
}

// Every byte valid in part of a reference; '%' must start a well-formed escape.
bool validChars(std::string_view s, std::string_view extra) {
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '%') {
            if (i + 2 >= s.size() || !isHex(static_cast<unsigned char>(s[i + 1])) || !isHex(static_cast<unsigned char>(s[i + 2]))) {
                return false;
            }
            i += 2;
            continue;
        }
        if (isUnreserved(c) || isSubDelim(c) || extra.find(static_cast<char>(c)) != std::string_view::npos) continue;
        return false;
    }
    return true;
}

bool validScheme(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s[0]))) return false;
    for (unsigned char c : s) {
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
    }
    return true;
}

bool parseAuthority(std::string_view auth, URLParts& parts) {
    std::string_view hostport = auth;
    size_t at = auth.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view userinfo = auth.substr(0, at);
        if (!validChars(userinfo, ":")) return false;
        size_t colon = userinfo.find(':');
        parts.user = std::string(userinfo.substr(0, colon));
        if (colon != std::string_view::npos) parts.password = std::string(userinfo.substr(colon + 1));
        hostport = auth.substr(at + 1);
    }
    std::string_view host = hostport;
    std::string_view port;
    bool hasPort = false;
    if (!hostport.empty() && hostport[0] == '[') {
        size_t close = hostport.find(']');
        if (close == std::string_view::npos) return false;
        std::string_view literal = hostport.substr(1, close - 1);
        if (literal.empty()) return false;
        for (unsigned char c : literal) {
            if (!isHex(c) && c != ':' && c != '.') return false;
        }
        host = literal;
        std::string_view rest = hostport.substr(close + 1);
        if (!rest.empty()) {
            if (rest[0] != ':') return false;
            port = rest.substr(1);
            hasPort = true;
        }
    } else {
        size_t colon = hostport.rfind(':');
        if (colon != std::string_view::npos) {
            host = hostport.substr(0, colon);
            port = hostport.substr(colon + 1);
            hasPort = true;
        }
        if (!validChars(host, "")) return false;
    }
    parts.host = std::string(host);
    if (hasPort && !port.empty()) {
        int value = 0;
        auto [p, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || p != port.data() + port.size() || value < 0 || value > 65535) return false;
        parts.port = value;
    }
    return true;
}

}  // namespace

bool asciiSameIgnoringCase(const char* a, const char* b, size_t size) {
    // ASCII only, without the locale's tolower (a call per character): header names are matched
    // this way on every request.
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    for (size_t i = 0; i < size; ++i) {
        if (a[i] != b[i] && lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string asciiLowercase(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::optional<URLParts> parseURLReference(std::string_view text) {
    URLParts parts;
    std::string_view rest = text;

    size_t hash = rest.find('#');
    if (hash != std::string_view::npos) {
        std::string_view fragment = rest.substr(hash + 1);
        if (!validChars(fragment, ":@/?")) return std::nullopt;  // a second '#' fails here too
        parts.fragment = std::string(fragment);
        rest = rest.substr(0, hash);
    }
    size_t question = rest.find('?');
    if (question != std::string_view::npos) {
        std::string_view query = rest.substr(question + 1);
        if (!validChars(query, ":@/?")) return std::nullopt;
        parts.query = std::string(query);
        rest = rest.substr(0, question);
    }
    size_t colon = rest.find(':');
    size_t slash = rest.find('/');
    if (colon != std::string_view::npos && (slash == std::string_view::npos || colon < slash) &&
        validScheme(rest.substr(0, colon))) {
        parts.scheme = std::string(rest.substr(0, colon));
        rest = rest.substr(colon + 1);
    }
    if (rest.substr(0, 2) == "//") {
        rest.remove_prefix(2);
        size_t end = rest.find('/');
        std::string_view authority = rest.substr(0, end);
        parts.authority = std::string(authority);
        if (!parseAuthority(authority, parts)) return std::nullopt;
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end);
    }
    if (!validChars(rest, ":@/")) return std::nullopt;
    parts.path = std::string(rest);
    return parts;
}

std::string removeDotSegments(std::string_view input) {
    std::string in(input);
    std::string out;
    while (!in.empty()) {
        if (in.rfind("../", 0) == 0) {
            in.erase(0, 3);
        } else if (in.rfind("./", 0) == 0) {
            in.erase(0, 2);
        } else if (in.rfind("/./", 0) == 0) {
            in.erase(0, 2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.rfind("/../", 0) == 0 || in == "/..") {
            in = in == "/.." ? "/" : in.substr(3);
            size_t last = out.rfind('/');
            out.erase(last == std::string::npos ? 0 : last);
        } else if (in == "." || in == "..") {
            in.clear();
        } else {
            size_t start = in[0] == '/' ? 1 : 0;
            size_t next = in.find('/', start);
            out += in.substr(0, next);
            in.erase(0, next == std::string::npos ? in.size() : next);
        }
    }
    return out;
}

namespace {

std::string mergePaths(const URLParts& base, const std::string& refPath) {
    if (base.authority && base.path.empty()) return "/" + refPath;
    size_t last = base.path.rfind('/');
    if (last == std::string::npos) return refPath;
    return base.path.substr(0, last + 1) + refPath;
}

}  // namespace

URLParts resolveURLReference(const URLParts& base, const URLParts& ref) {
    URLParts t;
    auto copyAuthority = [&t](const URLParts& from) {
        t.authority = from.authority;
        t.user = from.user;
        t.password = from.password;
        t.host = from.host;
        t.port = from.port;
    };
    if (ref.scheme) {
        t.scheme = ref.scheme;
        copyAuthority(ref);
        t.path = removeDotSegments(ref.path);
        t.query = ref.query;
    } else {
        if (ref.authority) {
            copyAuthority(ref);
            t.path = removeDotSegments(ref.path);
            t.query = ref.query;
        } else {
            if (ref.path.empty()) {
                t.path = base.path;
                t.query = ref.query ? ref.query : base.query;
            } else {
                if (ref.path[0] == '/') {
                    t.path = removeDotSegments(ref.path);
                } else {
                    t.path = removeDotSegments(mergePaths(base, ref.path));
                }
                t.query = ref.query;
            }
            copyAuthority(base);
        }
        t.scheme = base.scheme;
    }
    t.fragment = ref.fragment;
    return t;
}

std::string URLParts::recompose() const {
    std::string out;
    out.reserve((scheme ? scheme->size() + 1 : 0) + (authority ? authority->size() + 2 : 0) + path.size() +
                (query ? query->size() + 1 : 0) + (fragment ? fragment->size() + 1 : 0));
    if (scheme) out.append(*scheme).append(1, ':');
    if (authority) out.append("//").append(*authority);
    out += path;
    if (query) out.append(1, '?').append(*query);
    if (fragment) out.append(1, '#').append(*fragment);
    return out;
}

std::optional<std::string> percentDecode(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            if (i + 2 >= text.size() || !isHex(static_cast<unsigned char>(text[i + 1])) || !isHex(static_cast<unsigned char>(text[i + 2]))) {
                return std::nullopt;
            }
            out += static_cast<char>(hexValue(static_cast<unsigned char>(text[i + 1])) * 16 +
                                     hexValue(static_cast<unsigned char>(text[i + 2])));
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    // The decoded bytes must be UTF-8 to make text of them.
    for (size_t i = 0; i < out.size();) {
        unsigned char c = static_cast<unsigned char>(out[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > out.size()) return std::nullopt;
        for (size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(out[i + k]) >> 6) != 2) return std::nullopt;
        }
        i += n;
    }
    return out;
}

std::string percentEscapePathComponent(std::string_view text, bool escapeSlash) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : text) {
        bool keep = isUnreserved(c) || c == '!' || c == '$' || c == '&' || c == '\'' || c == '(' || c == ')' ||
                    c == '*' || c == '+' || c == ',' || c == ';' || c == '=' || c == ':' || c == '@' ||
                    (c == '/' && !escapeSlash);
        if (keep) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

}  // namespace zvt
