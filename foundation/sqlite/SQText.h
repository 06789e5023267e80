#pragma once
// Small text helpers shared by the connection and its result sets.

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSString.h"

namespace zvt {

// Lower case as NSString's lowercaseString gives it; ASCII names (nearly all column and table
// names) take a path that allocates nothing beyond the result.
std::string SQLowercase(std::string_view text);

// An NSString of SQLite's bytes (text may hold NUL bytes); nil for a null pointer or bytes
// that are not UTF-8.
std::shared_ptr<NSString> SQString(const char* bytes, int length);
std::shared_ptr<NSString> SQString(const char* bytes);

// Every "'" doubled, for a name placed between single quotes in SQL text.
std::string SQQuoted(std::string_view text);

}  // namespace zvt
