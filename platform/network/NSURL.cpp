#include "platform/network/NSURL.h"

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/foundation/NSArray.h"

namespace {

std::shared_ptr<NSString> text(const std::optional<std::string>& s) {
    return s ? NSString::stringWithUTF8String(*s) : nullptr;
}

std::shared_ptr<NSString> decoded(const std::optional<std::string>& s) {
    if (!s) return nullptr;
    auto d = zvt::percentDecode(*s);
    return d ? NSString::stringWithUTF8String(*d) : nullptr;
}

std::string decodedPath(const std::string& path) {
    auto d = zvt::percentDecode(path);
    std::string p = d ? *d : path;
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

}  // namespace

NSURL::NSURL(std::string relative, zvt::URLParts relativeParts, std::shared_ptr<NSURL> base)
    : relative_(std::move(relative)), relativeParts_(std::move(relativeParts)), base_(std::move(base)) {
    if (base_ && !relativeParts_.scheme) {
        resolved_ = zvt::resolveURLReference(base_->resolved_, relativeParts_);
        absolute_ = resolved_.recompose();
    } else {
        // A URL with a scheme of its own ignores the base for its absolute form.
        resolved_ = relativeParts_;
        absolute_ = relative_;
    }
}

std::shared_ptr<NSURL> NSURL::URLWithString(std::string_view string, const std::shared_ptr<NSURL>& baseURL) {
    auto parts = zvt::parseURLReference(string);
    if (!parts) return nullptr;
    // A reference without a scheme and without a base is kept as it is (a relative URL).
    return std::make_shared<NSURL>(std::string(string), std::move(*parts), baseURL);
}

std::shared_ptr<NSURL> NSURL::URLWithString(const std::shared_ptr<NSString>& string, const std::shared_ptr<NSURL>& baseURL) {
    if (!string) return nullptr;
    return URLWithString(string->view(), baseURL);
}

std::shared_ptr<NSURL> NSURL::URLWithString(const std::shared_ptr<NSString>& string) { return URLWithString(string, nullptr); }
std::shared_ptr<NSURL> NSURL::URLWithString(std::string_view string) { return URLWithString(string, nullptr); }

std::shared_ptr<NSURL> NSURL::fileURLWithPath(const std::shared_ptr<NSString>& path, bool isDirectory) {
    if (!path) return nullptr;
    std::string p = path->utf8();
    if (p.empty() || p[0] != '/') {
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd)) p = std::string(cwd) + "/" + p;
    }
    if (isDirectory && p.back() != '/') p += '/';
    return URLWithString("file://" + zvt::percentEscapePathComponent(p, false));
}

std::shared_ptr<NSURL> NSURL::fileURLWithPath(const std::shared_ptr<NSString>& path) {
    if (!path) return nullptr;
    struct stat st {};
    bool directory = ::stat(path->UTF8String(), &st) == 0 && S_ISDIR(st.st_mode);
    return fileURLWithPath(path, directory || path->hasSuffix("/"));
}

std::shared_ptr<NSString> NSURL::absoluteString() const { return NSString::stringWithUTF8String(absolute_); }

std::shared_ptr<NSURL> NSURL::absoluteURL() const {
    if (!base_) return std::static_pointer_cast<NSURL>(std::const_pointer_cast<NSObject>(shared_from_this()));
    return URLWithString(absolute_);
}

std::shared_ptr<NSString> NSURL::relativeString() const { return NSString::stringWithUTF8String(relative_); }
std::shared_ptr<NSString> NSURL::scheme() const { return text(resolved_.scheme); }
std::shared_ptr<NSString> NSURL::host() const { return decoded(resolved_.host); }
std::shared_ptr<NSNumber> NSURL::port() const {
    return resolved_.port ? NSNumber::numberWithInt(*resolved_.port) : nullptr;
}
std::shared_ptr<NSString> NSURL::user() const { return decoded(resolved_.user); }
std::shared_ptr<NSString> NSURL::password() const { return decoded(resolved_.password); }

std::shared_ptr<NSString> NSURL::path() const {
    if (!resolved_.scheme && !resolved_.authority && !base_ && resolved_.path.empty()) return NSString::string();
    return NSString::stringWithUTF8String(decodedPath(resolved_.path));
}

std::shared_ptr<NSString> NSURL::relativePath() const { return NSString::stringWithUTF8String(decodedPath(relativeParts_.path)); }
std::shared_ptr<NSString> NSURL::query() const { return text(resolved_.query); }
std::shared_ptr<NSString> NSURL::fragment() const { return text(resolved_.fragment); }

std::shared_ptr<NSString> NSURL::resourceSpecifier() const {
    if (!resolved_.scheme) return NSString::stringWithUTF8String(absolute_);
    return NSString::stringWithUTF8String(absolute_.substr(resolved_.scheme->size() + 1));
}

std::shared_ptr<NSArray> NSURL::pathComponents() const {
    std::string p = decodedPath(resolved_.path);
    if (p.empty()) return nullptr;
    std::vector<id> parts;
    if (p[0] == '/') parts.push_back(NSString::stringWithUTF8String("/"));
    size_t start = 0;
    while (start < p.size()) {
        size_t slash = p.find('/', start);
        if (slash == std::string::npos) slash = p.size();
        if (slash > start) parts.push_back(NSString::stringWithUTF8String(p.substr(start, slash - start)));
        start = slash + 1;
    }
    return NSArray::arrayWithObjects(std::move(parts));
}

std::shared_ptr<NSString> NSURL::lastPathComponent() const {
    std::string p = decodedPath(resolved_.path);
    if (p.empty()) return NSString::string();
    if (p == "/") return NSString::stringWithUTF8String("/");
    return NSString::stringWithUTF8String(p.substr(p.rfind('/') + 1));
}

std::shared_ptr<NSString> NSURL::pathExtension() const {
    std::string last = lastPathComponent()->utf8();
    size_t dot = last.rfind('.');
    if (dot == std::string::npos || dot == 0 || dot + 1 == last.size()) return NSString::string();
    return NSString::stringWithUTF8String(last.substr(dot + 1));
}

bool NSURL::hasDirectoryPath() const { return !resolved_.path.empty() && resolved_.path.back() == '/'; }

bool NSURL::isFileURL() const { return resolved_.scheme && zvt::asciiEqualsIgnoringCase(*resolved_.scheme, "file"); }

std::shared_ptr<NSURL> NSURL::URLByAppendingPathComponent(std::string_view component) const {
    zvt::URLParts parts = resolved_;
    if (parts.path.empty() || parts.path.back() != '/') parts.path += '/';
    parts.path += zvt::percentEscapePathComponent(component, false);
    if (parts.authority && !parts.path.empty() && parts.path[0] != '/') parts.path.insert(0, "/");
    return URLWithString(parts.recompose());
}

std::shared_ptr<NSURL> NSURL::URLByAppendingPathComponent(const std::shared_ptr<NSString>& component) const {
    return URLByAppendingPathComponent(component ? component->view() : std::string_view());
}

std::shared_ptr<NSURL> NSURL::URLByDeletingLastPathComponent() const {
    zvt::URLParts parts = resolved_;
    std::string p = parts.path;
    if (p.size() > 1 && p.back() == '/') p.pop_back();
    size_t slash = p.rfind('/');
    if (slash == std::string::npos) {
        p = "../";
    } else {
        p = p.substr(0, slash + 1);
    }
    parts.path = p;
    return URLWithString(parts.recompose());
}

std::shared_ptr<NSString> NSURL::description() const {
    if (!base_) return NSString::stringWithUTF8String(relative_);
    return NSString::stringWithUTF8String(relative_ + " -- " + base_->description()->utf8());
}

bool NSURL::isEqual(const id& other) const {
    auto url = std::dynamic_pointer_cast<NSURL>(other);
    if (!url) return false;
    if (url.get() == this) return true;
    if (relative_ != url->relative_) return false;
    return zvt::objectsEqual(base_, url->base_);
}

NSUInteger NSURL::hash() const { return std::hash<std::string>()(relative_); }

id NSURL::copyWithZone() const { return std::const_pointer_cast<NSObject>(shared_from_this()); }
