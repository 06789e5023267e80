// URLs: RFC 3986 references, optionally relative to a base URL, and file URLs.
#pragma once

#include <memory>
#include <string>

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"
#include "platform/network/URLParsing.h"

class NSArray;

class NSURL : public NSObject {
public:
    // nil when the text is nil or no valid URL (spaces, stray '%', non-ASCII, ...).
    static std::shared_ptr<NSURL> URLWithString(const std::shared_ptr<NSString>& string);
    static std::shared_ptr<NSURL> URLWithString(std::string_view string);
    // URLWithString:relativeToURL: keeps the base; the absolute URL is the resolved reference.
    static std::shared_ptr<NSURL> URLWithString(const std::shared_ptr<NSString>& string, const std::shared_ptr<NSURL>& baseURL);
    static std::shared_ptr<NSURL> URLWithString(std::string_view string, const std::shared_ptr<NSURL>& baseURL);
    static std::shared_ptr<NSURL> initWithString(const std::shared_ptr<NSString>& string) { return URLWithString(string); }
    // fileURLWithPath: an absolute path (a relative one is taken from the working directory);
    // a directory gets a trailing "/".
    static std::shared_ptr<NSURL> fileURLWithPath(const std::shared_ptr<NSString>& path);
    static std::shared_ptr<NSURL> fileURLWithPath(const std::shared_ptr<NSString>& path, bool isDirectory);

    std::shared_ptr<NSString> absoluteString() const;
    std::shared_ptr<NSURL> absoluteURL() const;
    // The text the URL was made from, without the base.
    std::shared_ptr<NSString> relativeString() const;
    const std::shared_ptr<NSURL>& baseURL() const { return base_; }

    std::shared_ptr<NSString> scheme() const;
    std::shared_ptr<NSString> host() const;
    std::shared_ptr<NSNumber> port() const;
    std::shared_ptr<NSString> user() const;
    std::shared_ptr<NSString> password() const;
    // Percent-decoded; a trailing "/" is dropped except for the root path.
    std::shared_ptr<NSString> path() const;
    std::shared_ptr<NSString> relativePath() const;
    std::shared_ptr<NSString> query() const;
    std::shared_ptr<NSString> fragment() const;
    // Everything after "scheme:".
    std::shared_ptr<NSString> resourceSpecifier() const;
    std::shared_ptr<NSArray> pathComponents() const;
    std::shared_ptr<NSString> lastPathComponent() const;
    std::shared_ptr<NSString> pathExtension() const;
    bool hasDirectoryPath() const;
    bool isFileURL() const;

    // Appends one component to the path ("" adds just a "/"); query and fragment stay.
    std::shared_ptr<NSURL> URLByAppendingPathComponent(const std::shared_ptr<NSString>& component) const;
    std::shared_ptr<NSURL> URLByAppendingPathComponent(std::string_view component) const;
    std::shared_ptr<NSURL> URLByDeletingLastPathComponent() const;

    std::shared_ptr<NSString> description() const override;
    // Equal when the texts and the bases are equal.
    bool isEqual(const id& other) const override;
    NSUInteger hash() const override;
    id copyWithZone() const override;

    // The resolved parts (for the URL-loading code).
    const zvt::URLParts& parts() const { return resolved_; }
    const std::string& absoluteText() const { return absolute_; }

    NSURL(std::string relative, zvt::URLParts relativeParts, std::shared_ptr<NSURL> base);

private:
    std::string relative_;
    zvt::URLParts relativeParts_;
    std::shared_ptr<NSURL> base_;
    zvt::URLParts resolved_;
    std::string absolute_;
};
