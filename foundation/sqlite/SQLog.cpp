#include "foundation/sqlite/SQLog.h"

#include <cstdio>
#include <mutex>

namespace zvt {
namespace {

std::mutex& logMutex() {
  static std::mutex mutex;
  return mutex;
}

SQLogHandler& logHandler() {
  static SQLogHandler handler;
  return handler;
}

}  // namespace

SQLogHandler setSQLogHandler(SQLogHandler handler) {
  std::lock_guard<std::mutex> lock(logMutex());
  SQLogHandler previous = std::move(logHandler());
  logHandler() = std::move(handler);
  return previous;
}

void SQLog(std::string_view line) {
  // Logging is rare (failures and tracing), so one lock keeps lines whole across threads.
  std::lock_guard<std::mutex> lock(logMutex());
  if (logHandler()) {
    logHandler()(line);
    return;
  }
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace zvt
