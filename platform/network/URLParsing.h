// RFC 3986 URI references on plain strings: parsing with validation, reference resolution,
// dot-segment removal and percent coding. NSURL is a thin object over these.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zvt {

struct URLParts {
    std::optional<std::string> scheme;    // as written (case kept)
    std::optional<std::string> authority; // present when the reference has "//"
    std::optional<std::string> user;      // from the authority, still percent-encoded
    std::optional<std::string> password;
    std::optional<std::string> host;      // without the IPv6 brackets
    std::optional<int> port;
    std::string path;                     // percent-encoded
    std::optional<std::string> query;     // without '?'
    std::optional<std::string> fragment;  // without '#'

    // The reference written back (RFC 3986 section 5.3).
    std::string recompose() const;
};

// Parses a URI reference. Empty result for text that is no valid reference: characters outside
// the URI set (space, quotes, angle brackets, non-ASCII...), a '%' without two hex digits, a
// second '#', a bad port or a malformed IPv6 literal.
std::optional<URLParts> parseURLReference(std::string_view text);

// Resolves a reference against an absolute base (RFC 3986 section 5.2).
URLParts resolveURLReference(const URLParts& base, const URLParts& reference);

// RFC 3986 section 5.2.4.
std::string removeDotSegments(std::string_view path);

// Decodes %XX sequences; empty result when a sequence is malformed or the bytes are not UTF-8.
std::optional<std::string> percentDecode(std::string_view text);

// Escapes every byte that may not stand in a path segment ("/" too when escapeSlash).
std::string percentEscapePathComponent(std::string_view text, bool escapeSlash);

// Case-insensitive ASCII comparison of `size` bytes.
bool asciiSameIgnoringCase(const char* a, const char* b, size_t size);
// Case-insensitive ASCII comparison used for schemes, hosts and header names. Names are mostly
// told apart by their length, which is looked at without a call.
inline bool asciiEqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && asciiSameIgnoringCase(a.data(), b.data(), a.size());
}
std::string asciiLowercase(std::string_view text);

}  // namespace zvt
