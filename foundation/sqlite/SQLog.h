#pragma once
// The SQLite layer logs as NSLog does (info level, through the platform's one log sink).

#include <string_view>

#include "platform/foundation/NSLog.h"

namespace zvt {

inline void SQLog(std::string_view line) { logMessage(LogLevel::Info, line); }

template <class... Args>
void SQLogFormat(std::string_view format, const Args&... args) {
  logMessage(LogLevel::Info, zvt::format(format, {zvt::FormatArg(args)...}));
}

}  // namespace zvt
