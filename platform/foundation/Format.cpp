#include "platform/foundation/Format.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/foundation/NSException.h"
#include "platform/foundation/NSString.h"
#include "platform/foundation/internal/Unicode.h"

namespace zvt {
namespace {

struct Directive {
  bool left = false, plus = false, space = false, zero = false, alternate = false;
  int width = -1;
  int precision = -1;
  std::string length;
  char conversion = 0;
};

[[noreturn]] void fail(std::string_view format, const std::string& why) {
  zvt::raise(NSInvalidArgumentException, "Format \"" + std::string(format) + "\": " + why);
}

const char* kindName(FormatArg::Kind kind) {
  switch (kind) {
    case FormatArg::Kind::Signed: return "a signed integer";
    case FormatArg::Kind::Unsigned: return "an unsigned integer";
    case FormatArg::Kind::Double: return "a floating-point number";
    case FormatArg::Kind::CString: return "a C string";
    case FormatArg::Kind::Text: return "a std::string";
    case FormatArg::Kind::Object: return "an object";
    case FormatArg::Kind::Pointer: return "a pointer";
  }
  return "?";
}

void pad(std::string& out, std::string_view body, const Directive& directive, size_t visibleLength) {
  size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  if (visibleLength >= width) {
    out.append(body);
    return;
  }
  size_t fill = width - visibleLength;
  if (directive.left) {
    out.append(body);
    out.append(fill, ' ');
  } else {
    out.append(fill, ' ');
    out.append(body);
  }
}

// Sign/prefix + zero padding + digits, honouring width.
void emitNumber(std::string& out, std::string_view prefix, std::string_view digits, const Directive& directive, bool zeroPadAllowed) {
  size_t total = prefix.size() + digits.size();
  size_t width = directive.width > 0 ? static_cast<size_t>(directive.width) : 0;
  if (directive.zero && !directive.left && zeroPadAllowed && total < width) {
    out.append(prefix);
    out.append(width - total, '0');
    out.append(digits);
    return;
  }
  std::string body(prefix);
  body.append(digits);
  pad(out, body, directive, body.size());
}

int64_t asSigned(const FormatArg& arg) {
  if (arg.kind == FormatArg::Kind::Signed) return arg.i;
  // An unsigned argument read by a signed conversion: its bits at its own width.
  switch (arg.width) {
    case 1: return static_cast<int8_t>(arg.u);
    case 2: return static_cast<int16_t>(arg.u);
    case 4: return static_cast<int32_t>(arg.u);
    default: return static_cast<int64_t>(arg.u);
  }
}

uint64_t asUnsigned(const FormatArg& arg) {
  if (arg.kind == FormatArg::Kind::Unsigned) return arg.u;
  // A negative signed argument read by an unsigned conversion: its bits at its own width.
  switch (arg.width) {
    case 1: return static_cast<uint8_t>(arg.i);
    case 2: return static_cast<uint16_t>(arg.i);
    case 4: return static_cast<uint32_t>(arg.i);
    default: return static_cast<uint64_t>(arg.i);
  }
}

void formatInteger(std::string& out, const FormatArg& arg, const Directive& directive) {
  char buf[80];
  std::string prefix;
  std::string digits;
  const char c = directive.conversion;
  if (c == 'd' || c == 'i' || c == 'D') {
    int64_t v = asSigned(arg);
    uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    auto r = std::to_chars(buf, buf + sizeof buf, magnitude);
    digits.assign(buf, r.ptr);
    if (v < 0) prefix = "-";
    else if (directive.plus) prefix = "+";
    else if (directive.space) prefix = " ";
  } else {
    uint64_t v = asUnsigned(arg);
    int base = (c == 'x' || c == 'X') ? 16 : (c == 'o' || c == 'O') ? 8 : 10;
    auto r = std::to_chars(buf, buf + sizeof buf, v, base);
    digits.assign(buf, r.ptr);
    if (c == 'X') {
      for (auto& ch : digits) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    if (directive.alternate && v != 0) {
      if (c == 'x') prefix = "0x";
      else if (c == 'X') prefix = "0X";
      else if (base == 8) digits.insert(0, "0");
    }
  }
  if (directive.precision >= 0) {
    if (directive.precision == 0 && digits == "0") digits.clear();
    if (digits.size() < static_cast<size_t>(directive.precision)) digits.insert(0, static_cast<size_t>(directive.precision) - digits.size(), '0');
  }
  emitNumber(out, prefix, digits, directive, directive.precision < 0);
}

void formatDouble(std::string& out, double v, const Directive& directive) {
  const char c = directive.conversion;
  const bool upper = c == 'F' || c == 'E' || c == 'G' || c == 'A';
  std::string prefix;
  if (std::signbit(v)) prefix = "-";
  else if (directive.plus) prefix = "+";
  else if (directive.space) prefix = " ";
  double magnitude = std::fabs(v);
  std::string digits;
  if (std::isnan(v) || std::isinf(v)) {
    digits = std::isnan(v) ? (upper ? "NAN" : "nan") : (upper ? "INF" : "inf");
    if (std::isnan(v)) prefix = directive.plus ? "+" : directive.space ? " " : "";
    emitNumber(out, prefix, digits, directive, false);
    return;
  }
  char buf[400];
  int precision = directive.precision < 0 ? 6 : directive.precision;
  std::to_chars_result r{};
  switch (c) {
    case 'f':
    case 'F':
      r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::fixed, precision);
      break;
    case 'e':
    case 'E':
      r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, precision);
      break;
    case 'g':
    case 'G':
      if (precision == 0) precision = 1;
      r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::general, precision);
      break;
    case 'a':
    case 'A':
      r = directive.precision < 0 ? std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::hex)
                             : std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::hex, precision);
      prefix += upper ? "0X" : "0x";
      break;
  }
  if (r.ec != std::errc()) {  // cannot happen with this buffer; keep the output sane anyway
    digits = "?";
  } else {
    digits.assign(buf, r.ptr);
  }
  if ((c == 'g' || c == 'G') && directive.alternate) {
    // '#' keeps trailing zeros: pad the significant digits up to the precision.
    size_t e = digits.find('e');
    std::string mantissa = digits.substr(0, e);
    std::string exponent = e == std::string::npos ? "" : digits.substr(e);
    size_t significant = 0;
    bool leading = true;
    for (char ch : mantissa) {
      if (ch >= '0' && ch <= '9') {
        if (ch != '0') leading = false;
        if (!leading) ++significant;
      }
    }
    if (leading) significant = 1;  // zero: its one digit counts
    if (mantissa.find('.') == std::string::npos) mantissa.push_back('.');
    if (significant < static_cast<size_t>(precision)) mantissa.append(static_cast<size_t>(precision) - significant, '0');
    digits = mantissa + exponent;
  } else if (directive.alternate && digits.find('.') == std::string::npos && c != 'a' && c != 'A') {
    size_t e = digits.find('e');
    digits.insert(e == std::string::npos ? digits.size() : e, ".");
  }
  if (upper) {
    for (auto& ch : digits) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  }
  emitNumber(out, prefix, digits, directive, true);
}

void formatPointer(std::string& out, const void* p, const Directive& directive) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, reinterpret_cast<uintptr_t>(p), 16);
  std::string body = "0x";
  body.append(buf, r.ptr);
  pad(out, body, directive, body.size());
}

void formatText(std::string& out, std::string_view text, const Directive& directive, bool countBytes) {
  if (directive.precision >= 0) {
    // Cut at the precision without splitting a character.
    size_t limit = static_cast<size_t>(directive.precision);
    if (countBytes) {
      if (text.size() > limit) text = text.substr(0, limit);
    } else {
      size_t i = 0, units = 0;
      while (i < text.size()) {
        size_t next = i;
        char32_t cp = unicode::decodeNext(text, next);
        size_t add = cp >= 0x10000 ? 2 : 1;
        if (units + add > limit) break;
        units += add;
        i = next;
      }
      text = text.substr(0, i);
    }
  }
  pad(out, text, directive, countBytes ? text.size() : unicode::utf16Length(text));
}

}  // namespace

std::string format(std::string_view format, std::initializer_list<FormatArg> args) {
  return zvt::format(format, args.begin(), args.size());
}

std::string format(std::string_view fmt, const FormatArg* args, size_t count) {
  std::string out;
  out.reserve(fmt.size() + 16 * count);
  size_t next = 0;  // next sequential argument
  auto take = [&](size_t explicitIndex) -> const FormatArg& {
    size_t index = explicitIndex ? explicitIndex - 1 : next++;
    if (index >= count) fail(fmt, "missing argument " + std::to_string(index + 1));
    return args[index];
  };
  auto takeInt = [&](size_t explicitIndex) -> int {
    const FormatArg& a = take(explicitIndex);
    if (a.kind != FormatArg::Kind::Signed && a.kind != FormatArg::Kind::Unsigned) {
      fail(fmt, std::string("* wants an integer, got ") + kindName(a.kind));
    }
    int64_t v = asSigned(a);
    if (v > std::numeric_limits<int>::max()) v = std::numeric_limits<int>::max();
    if (v < std::numeric_limits<int>::min() + 1) v = std::numeric_limits<int>::min() + 1;
    return static_cast<int>(v);
  };
  auto readNumber = [&](size_t& i) -> size_t {
    size_t v = 0;
    while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') v = v * 10 + static_cast<size_t>(fmt[i++] - '0');
    return v;
  };

  size_t i = 0;
  while (i < fmt.size()) {
    size_t percent = fmt.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(fmt.substr(i));
      break;
    }
    out.append(fmt.substr(i, percent - i));
    i = percent + 1;
    if (i >= fmt.size()) fail(fmt, "ends inside a conversion");
    if (fmt[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    Directive directive;
    // Positional argument "%n$".
    size_t position = 0;
    {
      size_t j = i;
      size_t n = readNumber(j);
      if (j < fmt.size() && fmt[j] == '$' && j > i) {
        position = n;
        i = j + 1;
      }
    }
    for (; i < fmt.size(); ++i) {
      char f = fmt[i];
      if (f == '-') directive.left = true;
      else if (f == '+') directive.plus = true;
      else if (f == ' ') directive.space = true;
      else if (f == '0') directive.zero = true;
      else if (f == '#') directive.alternate = true;
      else if (f == '\'') continue;  // thousands grouping: not done, locale independent
      else break;
    }
    if (i < fmt.size() && fmt[i] == '*') {
      ++i;
      size_t j = i;
      size_t n = readNumber(j);
      size_t explicitIndex = 0;
      if (j < fmt.size() && fmt[j] == '$' && j > i) explicitIndex = n, i = j + 1;
      int w = takeInt(explicitIndex);
      if (w < 0) directive.left = true, w = -w;
      directive.width = w;
    } else if (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9') {
      directive.width = static_cast<int>(readNumber(i));
    }
    if (i < fmt.size() && fmt[i] == '.') {
      ++i;
      if (i < fmt.size() && fmt[i] == '*') {
        ++i;
        size_t j = i;
        size_t n = readNumber(j);
        size_t explicitIndex = 0;
        if (j < fmt.size() && fmt[j] == '$' && j > i) explicitIndex = n, i = j + 1;
        int p = takeInt(explicitIndex);
        directive.precision = p < 0 ? -1 : p;
      } else {
        directive.precision = static_cast<int>(readNumber(i));
      }
    }
    while (i < fmt.size() && std::strchr("hlqLzjt", fmt[i]) && fmt[i] != 0) directive.length.push_back(fmt[i++]);
    if (i >= fmt.size()) fail(fmt, "ends inside a conversion");
    directive.conversion = fmt[i++];
    const char c = directive.conversion;
    switch (c) {
      case '@': {
        const FormatArg& a = take(position);
        if (a.kind != FormatArg::Kind::Object) fail(fmt, std::string("%@ wants an object, got ") + kindName(a.kind));
        std::string text;
        if (!a.object) {
          text = "(null)";
        } else {
          auto d = a.object->description();
          text = d ? d->utf8() : "(null)";
        }
        formatText(out, text, directive, false);
        break;
      }
      case 'd': case 'i': case 'D': case 'u': case 'U': case 'x': case 'X': case 'o': case 'O': {
        const FormatArg& a = take(position);
        if (a.kind != FormatArg::Kind::Signed && a.kind != FormatArg::Kind::Unsigned) {
          fail(fmt, std::string("%") + c + " wants an integer, got " + kindName(a.kind));
        }
        formatInteger(out, a, directive);
        break;
      }
      case 'c': case 'C': {
        const FormatArg& a = take(position);
        if (a.kind != FormatArg::Kind::Signed && a.kind != FormatArg::Kind::Unsigned) {
          fail(fmt, std::string("%") + c + " wants a character, got " + kindName(a.kind));
        }
        uint64_t v = asUnsigned(a);
        char32_t cp = c == 'c' ? static_cast<unsigned char>(v) : static_cast<char16_t>(v);
        if (c == 'c' && directive.length == "l") cp = static_cast<char32_t>(v);  // %lc: a wide character
        std::string text;
        unicode::appendUtf8(text, cp);
        pad(out, text, directive, 1);
        break;
      }
      case 's': {
        const FormatArg& a = take(position);
        if (a.kind == FormatArg::Kind::CString) {
          formatText(out, a.s ? std::string_view(a.s) : std::string_view("(null)"), directive, true);
        } else if (a.kind == FormatArg::Kind::Text) {
          formatText(out, a.text, directive, true);
        } else if (a.kind == FormatArg::Kind::Object && !a.object) {
          formatText(out, "(null)", directive, true);
        } else {
          fail(fmt, std::string("%s wants a C string, got ") + kindName(a.kind));
        }
        break;
      }
      case 'f': case 'F': case 'e': case 'E': case 'g': case 'G': case 'a': case 'A': {
        const FormatArg& a = take(position);
        if (a.kind != FormatArg::Kind::Double) {
          fail(fmt, std::string("%") + c + " wants a floating-point number, got " + kindName(a.kind));
        }
        formatDouble(out, a.d, directive);
        break;
      }
      case 'p': {
        const FormatArg& a = take(position);
        const void* p = nullptr;
        switch (a.kind) {
          case FormatArg::Kind::Pointer: p = a.pointer; break;
          case FormatArg::Kind::Object: p = a.object; break;
          case FormatArg::Kind::CString: p = a.s; break;
          default: fail(fmt, std::string("%p wants a pointer, got ") + kindName(a.kind));
        }
        formatPointer(out, p, directive);
        break;
      }
      default:
        fail(fmt, std::string("unsupported conversion %") + c);
    }
  }
  return out;
}

}  // namespace zvt
