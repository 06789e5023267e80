#include "platform/foundation/NSTimeZone.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSString.h"

// Time-zone rules read from the system's compiled zone files (TZif) and from POSIX TZ strings.
namespace zvt {
namespace {

constexpr int64_t kSecondsPerDay = 86400;

// A POSIX TZ rule such as "EST5EDT,M3.2.0,M11.1.0" or "<+08>-8": offsets are stored east of
// Greenwich, as the rest of the system counts them.
struct PosixRule {
    struct When {
        char kind = 'M';  // 'J' (1..365, no leap day), 'D' (0..365), 'M' (month.week.day)
        int month = 0, week = 0, weekday = 0, day = 0;
        int32_t time = 7200;  // seconds after local midnight
    };
    std::string stdName, dstName;
    int32_t stdOffset = 0, dstOffset = 0;
    bool hasDst = false;
    When start, end;
};

bool parseName(std::string_view& s, std::string& out) {
    if (!s.empty() && s.front() == '<') {
        auto close = s.find('>');
        if (close == std::string_view::npos) return false;
        out = std::string(s.substr(1, close - 1));
        s.remove_prefix(close + 1);
        return !out.empty();
    }
    size_t n = 0;
    while (n < s.size() && std::isalpha(static_cast<unsigned char>(s[n]))) ++n;
    if (n < 3) return false;
    out = std::string(s.substr(0, n));
    s.remove_prefix(n);
    return true;
}

bool parseNumber(std::string_view& s, int& out) {
    size_t n = 0;
    while (n < s.size() && std::isdigit(static_cast<unsigned char>(s[n]))) ++n;
    if (n == 0 || n > 6) return false;
    out = 0;
    for (size_t i = 0; i < n; ++i) out = out * 10 + (s[i] - '0');
    s.remove_prefix(n);
    return true;
}

// [+-]hh[:mm[:ss]] -> seconds
bool parseClock(std::string_view& s, int32_t& out) {
    int sign = 1;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        sign = s.front() == '-' ? -1 : 1;
        s.remove_prefix(1);
    }
    int h = 0, m = 0, sec = 0;
    if (!parseNumber(s, h) || h > 167) return false;
    if (!s.empty() && s.front() == ':') {
        s.remove_prefix(1);
        if (!parseNumber(s, m) || m > 59) return false;
        if (!s.empty() && s.front() == ':') {
            s.remove_prefix(1);
            if (!parseNumber(s, sec) || sec > 59) return false;
        }
    }
    out = sign * (h * 3600 + m * 60 + sec);
    return true;
}

bool parseWhen(std::string_view& s, PosixRule::When& w) {
    if (s.empty()) return false;
    if (s.front() == 'M') {
        s.remove_prefix(1);
        w.kind = 'M';
        if (!parseNumber(s, w.month) || w.month < 1 || w.month > 12) return false;
        if (s.empty() || s.front() != '.') return false;
        s.remove_prefix(1);
        if (!parseNumber(s, w.week) || w.week < 1 || w.week > 5) return false;
        if (s.empty() || s.front() != '.') return false;
        s.remove_prefix(1);
        if (!parseNumber(s, w.weekday) || w.weekday > 6) return false;
    } else if (s.front() == 'J') {
        s.remove_prefix(1);
        w.kind = 'J';
        if (!parseNumber(s, w.day) || w.day < 1 || w.day > 365) return false;
    } else {
        w.kind = 'D';
        if (!parseNumber(s, w.day) || w.day > 365) return false;
    }
    w.time = 7200;
    if (!s.empty() && s.front() == '/') {
        s.remove_prefix(1);
        if (!parseClock(s, w.time)) return false;
    }
    return true;
}

std::optional<PosixRule> parsePosixRule(std::string_view s) {
    PosixRule r;
    if (!parseName(s, r.stdName)) return std::nullopt;
    int32_t west = 0;
    if (!parseClock(s, west)) return std::nullopt;
    r.stdOffset = -west;
    if (s.empty()) return r;
    if (!parseName(s, r.dstName)) return std::nullopt;
    r.hasDst = true;
    r.dstOffset = r.stdOffset + 3600;
    if (!s.empty() && s.front() != ',') {
        if (!parseClock(s, west)) return std::nullopt;
        r.dstOffset = -west;
    }
    if (s.empty()) {
        // The rule of the United States, which POSIX names as the default.
        r.start = {'M', 3, 2, 0, 0, 7200};
        r.end = {'M', 11, 1, 0, 0, 7200};
        return r;
    }
    if (s.front() != ',') return std::nullopt;
    s.remove_prefix(1);
    if (!parseWhen(s, r.start)) return std::nullopt;
    if (s.empty() || s.front() != ',') return std::nullopt;
    s.remove_prefix(1);
    if (!parseWhen(s, r.end)) return std::nullopt;
    if (!s.empty()) return std::nullopt;
    return r;
}



// Local midnight (as days since 1970) of the day a rule names in the given year.
int64_t ruleDay(const PosixRule::When& w, int64_t year) {
    int64_t jan1 = daysFromCivil(year, 1, 1);
    switch (w.kind) {
        case 'J': {
            int64_t d = w.day - 1;
            if (isLeapYear(year) && w.day >= 60) d += 1;
            return jan1 + d;
        }
        case 'D':
            return jan1 + w.day;
        default: {
            int64_t first = daysFromCivil(year, w.month, 1);
            int64_t firstWeekday = weekdayFromDays(first);  // 0 = Sunday
            int64_t d = first + ((w.weekday - firstWeekday + 7) % 7) + 7 * (w.week - 1);
            int64_t monthLen = daysInMonth(year, w.month);
            while (d >= first + monthLen) d -= 7;
            return d;
        }
    }
}

int32_t posixOffset(const PosixRule& r, int64_t t, bool* dst) {
    if (!r.hasDst) {
        if (dst) *dst = false;
        return r.stdOffset;
    }
    int64_t y, m, d;
    civilFromDays(floorDiv(t + r.stdOffset, kSecondsPerDay), y, m, d);
    int64_t start = ruleDay(r.start, y) * kSecondsPerDay + r.start.time - r.stdOffset;
    int64_t end = ruleDay(r.end, y) * kSecondsPerDay + r.end.time - r.dstOffset;
    bool inDst = start < end ? (t >= start && t < end) : !(t >= end && t < start);
    if (dst) *dst = inDst;
    return inDst ? r.dstOffset : r.stdOffset;
}

}  // namespace
}  // namespace zvt

namespace zvt {

struct TimeZoneRules {
    struct Type {
        int32_t offset = 0;
        bool dst = false;
        std::string abbreviation;
    };
    std::vector<int64_t> transitions;
    std::vector<uint8_t> typeIndex;
    std::vector<Type> types;
    std::optional<PosixRule> tail;  // governs times after the last transition

    int32_t offsetAt(int64_t t, bool* dst, std::string* abbreviation) const;
};

namespace {

uint32_t be32(const unsigned char* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
}
int64_t be64(const unsigned char* p) { return int64_t((uint64_t(be32(p)) << 32) | be32(p + 4)); }

// Parses a compiled zone file; the 64-bit block of version 2+ files is preferred.
std::shared_ptr<TimeZoneRules> parseTzif(const std::string& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t size = bytes.size();
    auto parseBlock = [&](size_t at, int timeSize, size_t& end) -> std::shared_ptr<TimeZoneRules> {
        if (at + 44 > size || std::memcmp(p + at, "TZif", 4) != 0) return nullptr;
        uint32_t isutcnt = be32(p + at + 20), isstdcnt = be32(p + at + 24), leapcnt = be32(p + at + 28);
        uint32_t timecnt = be32(p + at + 32), typecnt = be32(p + at + 36), charcnt = be32(p + at + 40);
        if (typecnt == 0 || typecnt > 256 || timecnt > 100000 || charcnt > 100000 || leapcnt > 100000 ||
            isutcnt > 256 || isstdcnt > 256)
            return nullptr;
        size_t need = size_t(timecnt) * timeSize + timecnt + size_t(typecnt) * 6 + charcnt +
                      size_t(leapcnt) * (timeSize + 4) + isstdcnt + isutcnt;
        size_t q = at + 44;
        if (q + need > size) return nullptr;
        auto rules = std::make_shared<TimeZoneRules>();
        for (uint32_t i = 0; i < timecnt; ++i, q += timeSize)
            rules->transitions.push_back(timeSize == 8 ? be64(p + q) : int32_t(be32(p + q)));
        for (uint32_t i = 0; i < timecnt; ++i, ++q) {
            if (p[q] >= typecnt) return nullptr;
            rules->typeIndex.push_back(p[q]);
        }
        size_t typesAt = q, charsAt = q + size_t(typecnt) * 6;
        for (uint32_t i = 0; i < typecnt; ++i) {
            const unsigned char* e = p + typesAt + i * 6;
            TimeZoneRules::Type t;
            t.offset = int32_t(be32(e));
            t.dst = e[4] != 0;
            size_t ai = e[5];
            if (ai < charcnt) {
                const char* s = reinterpret_cast<const char*>(p + charsAt + ai);
                t.abbreviation.assign(s, strnlen(s, charcnt - ai));
            }
            rules->types.push_back(std::move(t));
        }
        end = at + 44 + need;
        return rules;
    };
    size_t end = 0;
    auto v1 = parseBlock(0, 4, end);
    if (!v1) return nullptr;
    if (size < 5 || p[4] < '2') return v1;
    size_t end2 = 0;
    auto v2 = parseBlock(end, 8, end2);
    if (!v2) return v1;
    if (end2 < size && p[end2] == '\n') {
        auto nl = bytes.find('\n', end2 + 1);
        if (nl != std::string::npos) v2->tail = parsePosixRule(std::string_view(bytes).substr(end2 + 1, nl - end2 - 1));
    }
    return v2;
}

}  // namespace

int32_t TimeZoneRules::offsetAt(int64_t t, bool* dst, std::string* abbreviation) const {
    if (!transitions.empty() && t >= transitions.back() && tail) {
        bool d = false;
        int32_t off = posixOffset(*tail, t, &d);
        if (dst) *dst = d;
        if (abbreviation) *abbreviation = d ? tail->dstName : tail->stdName;
        return off;
    }
    const Type* type = nullptr;
    if (transitions.empty() || t < transitions.front()) {
        if (transitions.empty() && tail) {
            bool d = false;
            int32_t off = posixOffset(*tail, t, &d);
            if (dst) *dst = d;
            if (abbreviation) *abbreviation = d ? tail->dstName : tail->stdName;
            return off;
        }
        // Before the first transition the first standard-time type applies.
        type = &types.front();
        for (const auto& candidate : types)
            if (!candidate.dst) {
                type = &candidate;
                break;
            }
    } else {
        auto it = std::upper_bound(transitions.begin(), transitions.end(), t);
        type = &types[typeIndex[size_t(it - transitions.begin()) - 1]];
    }
    if (dst) *dst = type->dst;
    if (abbreviation) *abbreviation = type->abbreviation;
    return type->offset;
}

}  // namespace zvt

namespace {

std::string zoneDirectory() {
  const char* dir = std::getenv("TZDIR");
  return dir && *dir ? dir : "/usr/share/zoneinfo";
}

// Names are relative paths inside the database; nothing may lead out of it.
bool isSafeZoneName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name.front() == '/') return false;
  for (char c : name)
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '/' || c == '_' || c == '-' || c == '+')) return false;
  return name.find("..") == std::string_view::npos;
}

bool readWholeFile(const std::string& path, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.clear();
  char buf[8192];
  ssize_t n;
  while ((n = ::read(fd, buf, sizeof buf)) > 0) {
    out.append(buf, size_t(n));
    if (out.size() > (1u << 20)) break;
  }
  ::close(fd);
  return n == 0;
}

std::mutex gZoneMutex;

std::shared_ptr<const zvt::TimeZoneRules> loadRules(const std::string& name) {
  static std::map<std::string, std::shared_ptr<const zvt::TimeZoneRules>> cache;
  std::lock_guard lock(gZoneMutex);
  auto it = cache.find(name);
  if (it != cache.end()) return it->second;
  std::string bytes;
  std::shared_ptr<const zvt::TimeZoneRules> rules;
  if (readWholeFile(zoneDirectory() + "/" + name, bytes)) rules = zvt::parseTzif(bytes);
  cache.emplace(name, rules);
  return rules;
}

std::shared_ptr<NSTimeZone> makeFixed(std::string name, int32_t offset) {
  return std::make_shared<NSTimeZone>(std::move(name), offset, nullptr);
}

std::shared_ptr<NSTimeZone> gmtZone() {
  static const auto zone = makeFixed("GMT", 0);
  return zone;
}

std::string offsetName(int32_t offset) {
  if (offset == 0) return "GMT";
  int32_t a = std::abs(offset);
  char buf[32];
  if (a % 60)
    std::snprintf(buf, sizeof buf, "GMT%c%02d%02d%02d", offset < 0 ? '-' : '+', a / 3600, a / 60 % 60, a % 60);
  else
    std::snprintf(buf, sizeof buf, "GMT%c%02d%02d", offset < 0 ? '-' : '+', a / 3600, a / 60 % 60);
  return buf;
}

std::shared_ptr<NSTimeZone> zoneNamed(std::string_view name) {
  if (name == "GMT" || name == "UTC" || name == "Etc/UTC" || name == "Etc/GMT" || name == "Z")
    return name == "GMT" ? gmtZone() : makeFixed(std::string(name), 0);
  if (!isSafeZoneName(name)) return nullptr;
  auto rules = loadRules(std::string(name));
  if (!rules) return nullptr;
  return std::make_shared<NSTimeZone>(std::string(name), 0, rules);
}

// The system zone: $TZ (a database name, optionally after ':', or a POSIX rule), else the
// zone /etc/localtime points at, else GMT.
std::shared_ptr<NSTimeZone> loadSystemZone() {
  if (const char* tz = std::getenv("TZ")) {
    std::string_view v(tz);
    if (!v.empty() && v.front() == ':') v.remove_prefix(1);
    if (v.empty()) return gmtZone();
    if (auto zone = zoneNamed(v)) return zone;
    if (auto rule = zvt::parsePosixRule(v)) {
      auto rules = std::make_shared<zvt::TimeZoneRules>();
      zvt::TimeZoneRules::Type type;
      type.offset = rule->stdOffset;
      type.abbreviation = rule->stdName;
      rules->types.push_back(type);
      rules->tail = *rule;
      return std::make_shared<NSTimeZone>(std::string(v), 0, rules);
    }
    return gmtZone();
  }
  char target[PATH_MAX];
  ssize_t n = ::readlink("/etc/localtime", target, sizeof target - 1);
  if (n > 0) {
    std::string_view link(target, size_t(n));
    auto at = link.find("zoneinfo/");
    if (at != std::string_view::npos)
      if (auto zone = zoneNamed(link.substr(at + 9))) return zone;
  }
  std::string bytes;
  if (readWholeFile("/etc/timezone", bytes)) {
    while (!bytes.empty() && std::isspace(static_cast<unsigned char>(bytes.back()))) bytes.pop_back();
    if (auto zone = zoneNamed(bytes)) return zone;
  }
  if (readWholeFile("/etc/localtime", bytes))
    if (auto rules = zvt::parseTzif(bytes)) return std::make_shared<NSTimeZone>("Local", 0, rules);
  return gmtZone();
}

std::mutex gDefaultMutex;
std::shared_ptr<NSTimeZone> gSystemZone;
std::shared_ptr<NSTimeZone> gDefaultZone;

}  // namespace

NSTimeZone::NSTimeZone(std::string name, int32_t fixedOffset, std::shared_ptr<const zvt::TimeZoneRules> rules)
    : name_(std::move(name)), fixedOffset_(fixedOffset), rules_(std::move(rules)) {}

std::shared_ptr<NSTimeZone> NSTimeZone::timeZoneWithName(const std::shared_ptr<NSString>& name) {
  if (!name) return nullptr;
  return zoneNamed(name->view());
}

std::shared_ptr<NSTimeZone> NSTimeZone::timeZoneForSecondsFromGMT(NSInteger seconds) {
  if (seconds < -18 * 3600 || seconds > 18 * 3600) return nullptr;
  if (seconds == 0) return gmtZone();
  return makeFixed(offsetName(int32_t(seconds)), int32_t(seconds));
}

std::shared_ptr<NSTimeZone> NSTimeZone::timeZoneWithAbbreviation(const std::shared_ptr<NSString>& abbreviation) {
  if (!abbreviation) return nullptr;
  static const std::map<std::string_view, std::string_view> known = {
      {"GMT", "GMT"}, {"UTC", "UTC"}, {"CST", "Asia/Shanghai"}, {"HKT", "Asia/Hong_Kong"},
      {"JST", "Asia/Tokyo"}, {"EST", "America/New_York"}, {"EDT", "America/New_York"},
      {"PST", "America/Los_Angeles"}, {"PDT", "America/Los_Angeles"}, {"CET", "Europe/Paris"},
      {"BST", "Europe/London"}};
  auto it = known.find(abbreviation->view());
  return it == known.end() ? nullptr : zoneNamed(it->second);
}

std::shared_ptr<NSTimeZone> NSTimeZone::systemTimeZone() {
  std::lock_guard lock(gDefaultMutex);
  if (!gSystemZone) gSystemZone = loadSystemZone();
  return gSystemZone;
}

void NSTimeZone::resetSystemTimeZone() {
  std::lock_guard lock(gDefaultMutex);
  gSystemZone = nullptr;
}

std::shared_ptr<NSTimeZone> NSTimeZone::defaultTimeZone() {
  {
    std::lock_guard lock(gDefaultMutex);
    if (gDefaultZone) return gDefaultZone;
  }
  return systemTimeZone();
}

void NSTimeZone::setDefaultTimeZone(const std::shared_ptr<NSTimeZone>& zone) {
  std::lock_guard lock(gDefaultMutex);
  gDefaultZone = zone;
}

std::shared_ptr<NSTimeZone> NSTimeZone::localTimeZone() { return defaultTimeZone(); }

std::shared_ptr<NSString> NSTimeZone::name() const { return NSString::fromValidUTF8(name_); }

std::shared_ptr<NSString> NSTimeZone::abbreviation() const { return abbreviationForDate(NSDate::date()); }

std::shared_ptr<NSString> NSTimeZone::abbreviationForDate(const std::shared_ptr<NSDate>& date) const {
  if (!rules_) return NSString::fromValidUTF8(offsetName(fixedOffset_));
  std::string abbreviation;
  int32_t offset = offsetAt(date ? int64_t(std::floor(date->timeIntervalSince1970())) : 0, nullptr, &abbreviation);
  // Numeric abbreviations of the database ("+08") read better in the GMT form.
  if (abbreviation.empty() || abbreviation[0] == '+' || abbreviation[0] == '-') abbreviation = offsetName(offset);
  return NSString::fromValidUTF8(abbreviation);
}

NSInteger NSTimeZone::secondsFromGMT() const { return secondsFromGMTForDate(NSDate::date()); }

NSInteger NSTimeZone::secondsFromGMTForDate(const std::shared_ptr<NSDate>& date) const {
  double t = date ? date->timeIntervalSince1970() : 0.0;
  return offsetAt(std::isfinite(t) ? int64_t(std::floor(std::fmax(std::fmin(t, 1e15), -1e15))) : 0);
}

bool NSTimeZone::isDaylightSavingTime() const { return isDaylightSavingTimeForDate(NSDate::date()); }

bool NSTimeZone::isDaylightSavingTimeForDate(const std::shared_ptr<NSDate>& date) const {
  bool dst = false;
  double t = date ? date->timeIntervalSince1970() : 0.0;
  offsetAt(std::isfinite(t) ? int64_t(std::floor(std::fmax(std::fmin(t, 1e15), -1e15))) : 0, &dst);
  return dst;
}

std::shared_ptr<NSString> NSTimeZone::description() const {
  return NSString::stringWithFormat("%s (%@) offset %ld", name_, abbreviation(), long(secondsFromGMT()));
}

bool NSTimeZone::isEqual(const id& other) const {
  auto zone = zvt::as<NSTimeZone>(other);
  return zone && zone->name_ == name_ && zone->fixedOffset_ == fixedOffset_;
}

NSUInteger NSTimeZone::hash() const { return std::hash<std::string>()(name_); }

id NSTimeZone::copyWithZone() const { return self(); }

int32_t NSTimeZone::offsetAt(int64_t unixSeconds, bool* dst, std::string* abbreviation) const {
  if (!rules_) {
    if (dst) *dst = false;
    if (abbreviation) *abbreviation = offsetName(fixedOffset_);
    return fixedOffset_;
  }
  return rules_->offsetAt(unixSeconds, dst, abbreviation);
}

zvt::LocalFields NSTimeZone::localFields(double unixTime) const {
  zvt::LocalFields f;
  if (!std::isfinite(unixTime)) unixTime = 0;
  unixTime = std::fmax(std::fmin(unixTime, 2.5e14), -2.5e14);
  double whole = std::floor(unixTime);
  auto secs = static_cast<int64_t>(whole);
  // A double holds about a microsecond at today's magnitudes; rounding there keeps 0.123 from
  // reading as 0.122999.
  int64_t micros = std::llround((unixTime - whole) * 1e6);
  if (micros >= 1000000) {
    secs += 1;
    micros -= 1000000;
  }
  f.nanosecond = micros * 1000;
  f.offset = offsetAt(secs, nullptr, &f.abbreviation);
  int64_t local = secs + f.offset;
  int64_t days = zvt::floorDiv(local, 86400), rem = zvt::floorMod(local, 86400);
  zvt::civilFromDays(days, f.year, f.month, f.day);
  f.hour = rem / 3600;
  f.minute = rem / 60 % 60;
  f.second = rem % 60;
  f.weekday = zvt::weekdayFromDays(days) + 1;
  f.dayOfYear = days - zvt::daysFromCivil(f.year, 1, 1) + 1;
  return f;
}

int64_t NSTimeZone::unixFromLocal(int64_t localSeconds) const {
  if (!rules_) return localSeconds - fixedOffset_;
  int32_t off1 = offsetAt(localSeconds);
  int64_t guess = localSeconds - off1;
  int32_t off2 = offsetAt(guess);
  if (off2 == off1) return guess;
  int64_t guess2 = localSeconds - off2;
  int32_t off3 = offsetAt(guess2);
  if (off3 == off2) return guess2;
  return localSeconds - std::min(off2, off3);
}
