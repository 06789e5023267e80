#pragma once
// Logging. Every line goes through one sink with a level; by default the sink writes
// "2026-01-01 08:00:00.000 <process>[<pid>:<thread>] <message>" to standard error.
// Tests install a zvt::LogCapture to read the lines back instead.

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSString.h"

namespace zvt {

enum class LogLevel { Debug = 0, Info = 1, Warning = 2, Error = 3 };

const char* logLevelName(LogLevel level);  // "debug", "info", "warning", "error"

// Sends one message (without a trailing line feed) to the sink.
void logMessage(LogLevel level, std::string_view message);
template <class... Args>
void logFormat(LogLevel level, std::string_view format, const Args&... args) {
  logMessage(level, zvt::format(format, {zvt::FormatArg(args)...}));
}

// Lines below this level are dropped before they reach standard error (captures see all).
void setLogLevel(LogLevel minimum);
LogLevel logLevel();

struct LogEntry {
  LogLevel level;
  std::string message;
};

// While alive, every logged line is kept here and not written to standard error. Captures
// nest: the newest one receives the lines. Thread-safe.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<LogEntry> entries() const;
  std::vector<std::string> lines() const;  // the messages only
  bool contains(std::string_view fragment) const;
  void clear();

 private:
  friend void logMessage(LogLevel, std::string_view);
  void add(LogLevel level, std::string_view message);

  mutable std::mutex mutex_;
  std::vector<LogEntry> entries_;
  LogCapture* previous_ = nullptr;
};

}  // namespace zvt

// NSLog(format, ...): formats as NSString::stringWithFormat and logs at the info level.
template <class... Args>
void NSLog(std::string_view format, const Args&... args) {
  zvt::logMessage(zvt::LogLevel::Info, zvt::format(format, {zvt::FormatArg(args)...}));
}
template <class... Args>
void NSLog(const std::shared_ptr<NSString>& format, const Args&... args) {
  zvt::logMessage(zvt::LogLevel::Info,
                  zvt::format(format ? std::string_view(format->utf8()) : std::string_view(), {zvt::FormatArg(args)...}));
}
