#pragma once
// Where the SQLite layer's messages go: standard error, one line each, unless a handler is
// installed (tests install one to read what was logged).

#include <functional>
#include <string>
#include <string_view>

#include "platform/foundation/Format.h"

namespace zvt {

using SQLogHandler = std::function<void(std::string_view line)>;

// Installs a handler (an empty one restores standard error); answers the previous one.
SQLogHandler setSQLogHandler(SQLogHandler handler);
void SQLog(std::string_view line);

template <class... Args>
void SQLogFormat(std::string_view format, const Args&... args) {
  SQLog(zvt::format(format, {zvt::FormatArg(args)...}));
}

}  // namespace zvt
