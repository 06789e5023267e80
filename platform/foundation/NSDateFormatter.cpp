#include "platform/foundation/NSDateFormatter.h"

#include <cctype>
#include <cmath>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSLocale.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/NSTimeZone.h"

namespace zvt {
namespace {

struct Token {
    char letter = 0;  // 0 for literal text
    int count = 0;
    std::string text;
};

bool isPatternLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::vector<Token> tokenize(std::string_view pattern) {
    std::vector<Token> out;
    auto literal = [&](std::string_view s) {
        if (out.empty() || out.back().letter != 0) out.push_back(Token{});
        out.back().text.append(s);
    };
    size_t i = 0;
    while (i < pattern.size()) {
        char c = pattern[i];
        if (c == '\'') {
            if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                literal("'");
                i += 2;
                continue;
            }
            // Quoted text runs to the next lone quote; '' inside stands for one quote.
            ++i;
            std::string text;
            while (i < pattern.size()) {
                if (pattern[i] == '\'') {
                    if (i + 1 < pattern.size() && pattern[i + 1] == '\'') {
                        text.push_back('\'');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                text.push_back(pattern[i++]);
            }
            literal(text);
        } else if (isPatternLetter(c)) {
            size_t j = i;
            while (j < pattern.size() && pattern[j] == c) ++j;
            out.push_back(Token{c, int(j - i), {}});
            i = j;
        } else {
            literal(pattern.substr(i, 1));
            ++i;
        }
    }
    return out;
}

const char* const kMonthNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kWeekdayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

void appendPadded(std::string& out, int64_t value, int width) {
    if (value < 0) {
        out.push_back('-');
        value = -value;
    }
    std::string digits = std::to_string(value);
    if (int(digits.size()) < width) out.append(size_t(width) - digits.size(), '0');
    out += digits;
}

void appendOffset(std::string& out, int32_t offset, int count) {
    char sign = offset < 0 ? '-' : '+';
    int32_t a = offset < 0 ? -offset : offset;
    int h = a / 3600, m = (a / 60) % 60;
    if (count <= 3) {
        out.push_back(sign);
        appendPadded(out, h, 2);
        appendPadded(out, m, 2);
    } else if (count == 4) {
        out += "GMT";
        if (offset == 0) return;
        out.push_back(sign);
        appendPadded(out, h, 2);
        out.push_back(':');
        appendPadded(out, m, 2);
    } else {
        if (offset == 0) {
            out.push_back('Z');
            return;
        }
        out.push_back(sign);
        appendPadded(out, h, 2);
        out.push_back(':');
        appendPadded(out, m, 2);
    }
}

}  // namespace
}  // namespace zvt
namespace zvt {
namespace {

// Writes the fields of one moment, already split in the formatter's time zone.
std::string formatFields(const std::vector<Token>& tokens, const LocalFields& f) {
    std::string out;
    for (const auto& t : tokens) {
        int n = t.count;
        switch (t.letter) {
            case 0: out += t.text; break;
            case 'y':
            case 'u':
                if (n == 2) appendPadded(out, ((f.year % 100) + 100) % 100, 2);
                else appendPadded(out, f.year, n);
                break;
            case 'M':
            case 'L':
                if (n <= 2) appendPadded(out, f.month, n);
                else if (n == 3) out.append(kMonthNames[f.month - 1], 3);
                else if (n == 4) out += kMonthNames[f.month - 1];
                else out.push_back(kMonthNames[f.month - 1][0]);
                break;
            case 'd': appendPadded(out, f.day, n); break;
            case 'D': appendPadded(out, f.dayOfYear, n); break;
            case 'H': appendPadded(out, f.hour, n); break;
            case 'k': appendPadded(out, f.hour == 0 ? 24 : f.hour, n); break;
            case 'K': appendPadded(out, f.hour % 12, n); break;
            case 'h': appendPadded(out, f.hour % 12 == 0 ? 12 : f.hour % 12, n); break;
            case 'm': appendPadded(out, f.minute, n); break;
            case 's': appendPadded(out, f.second, n); break;
            case 'S': {
                // Fractions are cut, not rounded, so that a moment never shows the next second's digits.
                int64_t nanos = f.nanosecond;
                std::string digits;
                appendPadded(digits, nanos, 9);
                if (n <= 9) out += digits.substr(0, size_t(n));
                else out += digits + std::string(size_t(n - 9), '0');
                break;
            }
            case 'a': out += f.hour < 12 ? "AM" : "PM"; break;
            case 'E':
            case 'c':
            case 'e': {
                const char* name = kWeekdayNames[f.weekday - 1];
                if ((t.letter == 'c' || t.letter == 'e') && n <= 2) appendPadded(out, f.weekday, n);
                else if (n <= 3) out.append(name, 3);
                else if (n == 4) out += name;
                else if (n == 5) out.push_back(name[0]);
                else out.append(name, 2);
                break;
            }
            case 'Z': appendOffset(out, f.offset, n); break;
            case 'x':
            case 'X':
                if (t.letter == 'X' && f.offset == 0) out.push_back('Z');
                else appendOffset(out, f.offset, n >= 3 ? 5 : 1);
                break;
            case 'z':
                // Zones the database names only by number ("+08") read as "GMT+08:00".
                if (n <= 3 && !f.abbreviation.empty() && f.abbreviation[0] != '+' && f.abbreviation[0] != '-')
                    out += f.abbreviation;
                else appendOffset(out, f.offset, 4);
                break;
            case 'G': out += f.year > 0 ? (n == 4 ? "Anno Domini" : "AD") : (n == 4 ? "Before Christ" : "BC"); break;
            default: out.append(size_t(n), t.letter); break;
        }
    }
    return out;
}

bool isNumericToken(const Token& t) {
    switch (t.letter) {
        case 'y': case 'u': case 'd': case 'D': case 'H': case 'k': case 'K': case 'h':
        case 'm': case 's': case 'S': return true;
        case 'M': case 'L': return t.count <= 2;
        case 'c': case 'e': return t.count <= 2;
        default: return false;
    }
}

bool matchWord(std::string_view in, size_t& pos, std::string_view word) {
    if (in.size() - pos < word.size()) return false;
    for (size_t i = 0; i < word.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(in[pos + i])) != std::tolower(static_cast<unsigned char>(word[i])))
            return false;
    pos += word.size();
    return true;
}

// Index of the longest name (full before abbreviated) that the text continues with, or -1.
int matchName(std::string_view in, size_t& pos, const char* const* names, int count) {
    for (int i = 0; i < count; ++i)
        if (matchWord(in, pos, names[i])) return i;
    for (int i = 0; i < count; ++i)
        if (matchWord(in, pos, std::string_view(names[i], 3))) return i;
    return -1;
}

bool readDigits(std::string_view in, size_t& pos, size_t maxDigits, int64_t& value, size_t* used = nullptr) {
    size_t start = pos;
    value = 0;
    while (pos < in.size() && pos - start < maxDigits && in[pos] >= '0' && in[pos] <= '9') {
        value = value * 10 + (in[pos] - '0');
        ++pos;
    }
    if (used) *used = pos - start;
    return pos > start;
}

bool readOffset(std::string_view in, size_t& pos, int32_t& offset) {
    if (pos < in.size() && in[pos] == 'Z') {
        ++pos;
        offset = 0;
        return true;
    }
    bool gmt = matchWord(in, pos, "GMT") || matchWord(in, pos, "UTC");
    if (pos >= in.size() || (in[pos] != '+' && in[pos] != '-')) {
        offset = 0;
        return gmt;
    }
    int sign = in[pos] == '-' ? -1 : 1;
    ++pos;
    int64_t h = 0, m = 0;
    size_t used = 0;
    if (!readDigits(in, pos, 2, h, &used)) return false;
    if (pos < in.size() && in[pos] == ':') ++pos;
    if (used == 2 && pos < in.size() && in[pos] >= '0' && in[pos] <= '9') {
        if (!readDigits(in, pos, 2, m, &used) || used != 2) return false;
    }
    if (h > 23 || m > 59) return false;
    offset = int32_t(sign * (h * 3600 + m * 60));
    return true;
}

}  // namespace
}  // namespace zvt
namespace zvt {
namespace {

struct ParsedFields {
    int64_t year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0, nanos = 0;
    bool hasAmPm = false, pm = false, twelveHour = false, twoDigitYear = false;
    std::optional<int32_t> offset;
};

// Reads the text against the pattern; the whole text must be used. Fields the pattern lacks
// keep the formatter's default moment, 2000-01-01 00:00:00.
std::optional<ParsedFields> parseFields(const std::vector<Token>& tokens, std::string_view in) {
    ParsedFields f;
    size_t pos = 0;
    for (size_t ti = 0; ti < tokens.size(); ++ti) {
        const Token& t = tokens[ti];
        if (t.letter == 0) {
            if (in.substr(pos, t.text.size()) != t.text) return std::nullopt;
            pos += t.text.size();
            continue;
        }
        // A numeric field directly followed by another numeric field ("yyyyMMdd") takes
        // exactly as many digits as its pattern letters; otherwise it takes all digits there are.
        bool abutting = isNumericToken(t) && ti + 1 < tokens.size() && isNumericToken(tokens[ti + 1]);
        size_t maxDigits = abutting ? size_t(t.count) : 9;
        int64_t v = 0;
        size_t used = 0;
        switch (t.letter) {
            case 'y':
            case 'u':
                if (!readDigits(in, pos, maxDigits, v, &used)) return std::nullopt;
                f.year = v;
                f.twoDigitYear = t.count == 2 && used == 2;
                break;
            case 'M':
            case 'L':
                if (t.count <= 2) {
                    if (!readDigits(in, pos, maxDigits, v)) return std::nullopt;
                    f.month = v;
                } else {
                    int i = matchName(in, pos, kMonthNames, 12);
                    if (i < 0) return std::nullopt;
                    f.month = i + 1;
                }
                break;
            case 'd':
                if (!readDigits(in, pos, maxDigits, v)) return std::nullopt;
                f.day = v;
                break;
            case 'H':
            case 'k':
                if (!readDigits(in, pos, maxDigits, v)) return std::nullopt;
                if (t.letter == 'k' && v == 24) v = 0;
                if (v > 23) return std::nullopt;
                f.hour = v;
                break;
            case 'h':
            case 'K':
                if (!readDigits(in, pos, maxDigits, v)) return std::nullopt;
                if (t.letter == 'h' ? (v < 1 || v > 12) : v > 11) return std::nullopt;
                f.hour = v % 12;
                f.twelveHour = true;
                break;
            case 'm':
                if (!readDigits(in, pos, maxDigits, v) || v > 59) return std::nullopt;
                f.minute = v;
                break;
            case 's':
                if (!readDigits(in, pos, maxDigits, v) || v > 59) return std::nullopt;
                f.second = v;
                break;
            case 'S': {
                if (!readDigits(in, pos, maxDigits, v, &used)) return std::nullopt;
                while (used < 9) {
                    v *= 10;
                    ++used;
                }
                f.nanos = v;
                break;
            }
            case 'a':
                if (matchWord(in, pos, "AM")) f.pm = false;
                else if (matchWord(in, pos, "PM")) f.pm = true;
                else return std::nullopt;
                f.hasAmPm = true;
                break;
            case 'E':
            case 'c':
            case 'e':
                // The weekday follows from the date; it is read only to step over it.
                if ((t.letter != 'E') && t.count <= 2) {
                    if (!readDigits(in, pos, maxDigits, v) || v < 1 || v > 7) return std::nullopt;
                } else if (matchName(in, pos, kWeekdayNames, 7) < 0) {
                    return std::nullopt;
                }
                break;
            case 'Z':
            case 'x':
            case 'X':
            case 'z': {
                int32_t off = 0;
                if (!readOffset(in, pos, off)) return std::nullopt;
                f.offset = off;
                break;
            }
            case 'G':
                if (!(matchWord(in, pos, "AD") || matchWord(in, pos, "Anno Domini"))) return std::nullopt;
                break;
            default:
                for (int i = 0; i < t.count; ++i)
                    if (pos >= in.size() || in[pos++] != t.letter) return std::nullopt;
                break;
        }
    }
    if (pos != in.size()) return std::nullopt;
    if (f.hasAmPm && f.pm && f.hour < 12) f.hour += 12;
    return f;
}

}  // namespace
}  // namespace zvt


NSDateFormatter::NSDateFormatter()
    : timeZone_(NSTimeZone::defaultTimeZone()), locale_(NSLocale::currentLocale()) {}

std::shared_ptr<NSString> NSDateFormatter::dateFormat() const {
  std::lock_guard lock(mutex_);
  return NSString::fromValidUTF8(format_);
}

void NSDateFormatter::setDateFormat(const std::shared_ptr<NSString>& format) {
  std::lock_guard lock(mutex_);
  format_ = format ? format->utf8() : std::string();
}

std::shared_ptr<NSTimeZone> NSDateFormatter::timeZone() const {
  std::lock_guard lock(mutex_);
  return timeZone_;
}

void NSDateFormatter::setTimeZone(const std::shared_ptr<NSTimeZone>& zone) {
  auto z = zone ? zone : NSTimeZone::defaultTimeZone();
  std::lock_guard lock(mutex_);
  timeZone_ = z;
}

std::shared_ptr<NSLocale> NSDateFormatter::locale() const {
  std::lock_guard lock(mutex_);
  return locale_;
}

void NSDateFormatter::setLocale(const std::shared_ptr<NSLocale>& locale) {
  auto l = locale ? locale : NSLocale::currentLocale();
  std::lock_guard lock(mutex_);
  locale_ = l;
}

std::shared_ptr<NSString> NSDateFormatter::stringFromDate(const std::shared_ptr<NSDate>& date) const {
  if (!date) return nullptr;
  std::string format;
  std::shared_ptr<NSTimeZone> zone;
  {
    std::lock_guard lock(mutex_);
    format = format_;
    zone = timeZone_;
  }
  return NSString::fromValidUTF8(zvt::formatFields(zvt::tokenize(format), zone->localFields(date->timeIntervalSince1970())));
}

std::shared_ptr<NSDate> NSDateFormatter::dateFromString(const std::shared_ptr<NSString>& text) const {
  if (!text) return nullptr;
  std::string format;
  std::shared_ptr<NSTimeZone> zone;
  {
    std::lock_guard lock(mutex_);
    format = format_;
    zone = timeZone_;
  }
  auto parsed = zvt::parseFields(zvt::tokenize(format), text->view());
  if (!parsed) return nullptr;
  auto& f = *parsed;
  if (f.twoDigitYear) {
    // Two-digit years fall into the hundred years that start 80 years before now.
    int64_t start = zone->localFields(Clock::now()).year - 80;
    int64_t year = start - zvt::floorMod(start, 100) + f.year;
    if (year < start) year += 100;
    f.year = year;
  }
  if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > zvt::daysInMonth(f.year, f.month)) return nullptr;
  int64_t local = zvt::daysFromCivil(f.year, f.month, f.day) * 86400 + f.hour * 3600 + f.minute * 60 + f.second;
  int64_t unix = f.offset ? local - *f.offset : zone->unixFromLocal(local);
  return NSDate::dateWithTimeIntervalSince1970(double(unix) + double(f.nanos) / 1e9);
}
