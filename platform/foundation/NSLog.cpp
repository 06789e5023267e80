#include "platform/foundation/NSLog.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>

#include "platform/foundation/Clock.h"
#include "platform/foundation/NSTimeZone.h"

namespace zvt {
namespace {

std::mutex gSinkMutex;
LogCapture* gCapture = nullptr;
std::atomic<int> gMinimum{static_cast<int>(LogLevel::Debug)};

std::string processName() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "zavelto";
  std::string exe(buf, size_t(n));
  auto slash = exe.rfind('/');
  return slash == std::string::npos ? exe : exe.substr(slash + 1);
}

}  // namespace

const char* logLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Debug: return "debug";
    case LogLevel::Info: return "info";
    case LogLevel::Warning: return "warning";
    case LogLevel::Error: return "error";
  }
  return "info";
}

void setLogLevel(LogLevel minimum) { gMinimum.store(static_cast<int>(minimum)); }
LogLevel logLevel() { return static_cast<LogLevel>(gMinimum.load()); }

void logMessage(LogLevel level, std::string_view message) {
  {
    std::lock_guard lock(gSinkMutex);
    if (gCapture) {
      gCapture->add(level, message);
      return;
    }
  }
  if (static_cast<int>(level) < gMinimum.load()) return;
  static const std::string name = processName();
  double now = Clock::now();
  auto fields = NSTimeZone::defaultTimeZone()->localFields(now);
  char stamp[64];
  std::snprintf(stamp, sizeof stamp, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld.%03lld",
                static_cast<long long>(fields.year), static_cast<long long>(fields.month),
                static_cast<long long>(fields.day), static_cast<long long>(fields.hour),
                static_cast<long long>(fields.minute), static_cast<long long>(fields.second),
                static_cast<long long>(fields.nanosecond / 1000000));
  std::string line = std::string(stamp) + " " + name + "[" + std::to_string(::getpid()) + ":" +
                     std::to_string(static_cast<long>(::syscall(SYS_gettid))) + "] " + std::string(message);
  if (line.empty() || line.back() != '\n') line += '\n';
  std::lock_guard lock(gSinkMutex);  // whole lines, never interleaved
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

LogCapture::LogCapture() {
  std::lock_guard lock(gSinkMutex);
  previous_ = gCapture;
  gCapture = this;
}

LogCapture::~LogCapture() {
  std::lock_guard lock(gSinkMutex);
  if (gCapture == this) {
    gCapture = previous_;
    return;
  }
  // Destroyed out of order: unlink it from the chain.
  for (LogCapture* c = gCapture; c; c = c->previous_)
    if (c->previous_ == this) {
      c->previous_ = previous_;
      break;
    }
}

void LogCapture::add(LogLevel level, std::string_view message) {
  std::lock_guard lock(mutex_);
  entries_.push_back(LogEntry{level, std::string(message)});
}

std::vector<LogEntry> LogCapture::entries() const {
  std::lock_guard lock(mutex_);
  return entries_;
}

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (auto& e : entries_) out.push_back(e.message);
  return out;
}

bool LogCapture::contains(std::string_view fragment) const {
  std::lock_guard lock(mutex_);
  for (auto& e : entries_)
    if (e.message.find(fragment) != std::string::npos) return true;
  return false;
}

void LogCapture::clear() {
  std::lock_guard lock(mutex_);
  entries_.clear();
}

}  // namespace zvt
