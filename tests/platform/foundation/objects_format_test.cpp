// Formatting: conversions checked against the C library in the C locale, run-time type checks,
// and independence from the process locale.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

#include "platform/foundation/Foundation.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#endif

namespace {

// glibc keeps a small allocation for every locale switch; it is not ours to free.
const char* switchLocale(const char* name) {
#if defined(__SANITIZE_ADDRESS__)
  __lsan::ScopedDisabler quiet;
#endif
  return std::setlocale(LC_ALL, name);
}

std::string F(std::string_view format, std::initializer_list<zvt::FormatArg> args) { return zvt::format(format, args); }

template <class T>
std::string C(const char* format, T value) {
  char buf[512];
  std::snprintf(buf, sizeof buf, format, value);
  return buf;
}

const char* const kIntFormats[] = {"%d", "%5d", "%-5d|", "%05d", "%+d", "% d", "%.3d", "%8.3d", "%-+8d|", "%x",
                                   "%X", "%#x", "%08X", "%o", "%#o", "%u", "%.0d", "%3c"};
const char* const kLongFormats[] = {"%ld", "%lu", "%lld", "%llu", "%lx", "%20lld", "%-20llu|", "%zd", "%zu", "%016llx"};
const char* const kDoubleFormats[] = {"%f",   "%.2f",  "%.0f", "%#.0f", "%10.3f", "%-10.3f|", "%010.3f", "%+f",
                                      "%e",   "%.3e",  "%E",   "%g",    "%.17g",  "%.3g",     "%G",      "%#g",
                                      "%.1f", "%12.4e", "% .5g", "%g"};

TEST(ObjectsFormat, IntegersMatchTheCLibrary) {
  for (int v : {0, 1, -1, 42, -42, 65, 1234567, INT32_MAX, INT32_MIN}) {
    for (const char* f : kIntFormats) {
      if (std::string(f) == "%3c" && (v < 32 || v > 126)) continue;
      if ((std::string(f).find_first_of("xXou") != std::string::npos)) {
        EXPECT_EQ(F(f, {v}), C(f, static_cast<unsigned>(v))) << f << " " << v;
      } else {
        EXPECT_EQ(F(f, {v}), C(f, v)) << f << " " << v;
      }
    }
  }
  for (long long v : {0LL, -1LL, (long long)INT64_MAX, (long long)INT64_MIN, 1LL << 40}) {
    for (const char* f : kLongFormats) EXPECT_EQ(F(f, {v}), C(f, v)) << f << " " << v;
  }
  EXPECT_EQ(F("%llu", {UINT64_MAX}), "18446744073709551615");
  EXPECT_EQ(F("%lld", {INT64_MIN}), "-9223372036854775808");
}

TEST(ObjectsFormat, FloatingPointMatchesTheCLibrary) {
  for (double v : {0.0, -0.0, 1.0, -1.5, 0.1, 3.14159265358979, 1e-7, 123456789.125, 1e21, 2.5, 0.5, 1.0 / 3}) {
    for (const char* f : kDoubleFormats) EXPECT_EQ(F(f, {v}), C(f, v)) << f << " " << v;
  }
  for (const char* f : {"%f", "%e", "%g", "%5.1f", "%F"}) {
    EXPECT_EQ(F(f, {std::numeric_limits<double>::infinity()}), C(f, std::numeric_limits<double>::infinity())) << f;
    EXPECT_EQ(F(f, {-std::numeric_limits<double>::infinity()}), C(f, -std::numeric_limits<double>::infinity())) << f;
  }
  EXPECT_EQ(F("%f", {std::nan("")}), "nan");
  EXPECT_EQ(F("%.17g", {0.1}), "0.10000000000000001");
  EXPECT_EQ(F("%a", {1.0}), C("%a", 1.0));
  EXPECT_EQ(F("%.2f", {1.5f}), "1.50");
}

TEST(ObjectsFormat, ObjectsStringsPointersAndEscapes) {
  EXPECT_EQ(F("%@", {nullptr}), "(null)");
  EXPECT_EQ(F("[%@]", {"x y"_ns}), "[x y]");
  std::shared_ptr<NSString> nil;
  EXPECT_EQ(F("%@", {nil}), "(null)");
  EXPECT_EQ(F("%@|%@", {NSNumber::numberWithDouble(0.5), NSNull::null()}), "0.5|<null>");
  EXPECT_EQ(F("%@", {NSArray::make({1_n})}), "(\n    1\n)");
  EXPECT_EQ(F("%6@|%-6@|", {"ab"_ns, "中文"_ns}), "    ab|中文    |");
  EXPECT_EQ(F("%.2@", {"a😀b"_ns}), "a");  // a precision never splits a character
  EXPECT_EQ(F("%s|%5s|%-5s|%.2s", {"abc", "ab", "ab", "abc"}), "abc|   ab|ab   |ab");
  EXPECT_EQ(F("%s", {static_cast<const char*>(nullptr)}), "(null)");
  EXPECT_EQ(F("%s", {std::string("std")}), "std");
  EXPECT_EQ(F("%c%c", {'o', 'k'}), "ok");
  EXPECT_EQ(F("%C", {static_cast<unichar>(0x4E2D)}), "中");
  EXPECT_EQ(F("100%%", {}), "100%");
  int x = 0;
  EXPECT_EQ(F("%p", {&x}), C("%p", static_cast<void*>(&x)));
  EXPECT_EQ(F("%p", {static_cast<void*>(nullptr)}), "0x0");
  EXPECT_EQ(F("%*d|%-*d|%.*f", {4, 7, 3, 7, 2, 3.14159}), "   7|7  |3.14");
  EXPECT_EQ(F("%2$@ %1$@", {"world"_ns, "hello"_ns}), "hello world");
  EXPECT_EQ(F("dropdown_anim__000%zd", {size_t(7)}), "dropdown_anim__0007");
  EXPECT_EQ(F("%d", {true}), "1");
  enum class Color { Red = 3 };
  EXPECT_EQ(F("%d", {Color::Red}), "3");
}

TEST(ObjectsFormat, UnsignedConversionsReadTheArgumentsOwnWidth) {
  EXPECT_EQ(F("%u", {-1}), "4294967295");
  EXPECT_EQ(F("%x", {static_cast<short>(-1)}), "ffff");
  EXPECT_EQ(F("%lu", {-1L}), "18446744073709551615");
  EXPECT_EQ(F("%d", {4294967295u}), "-1");
  EXPECT_EQ(F("%ld", {INT64_MAX}), "9223372036854775807");  // no truncation to 32 bits
}

TEST(ObjectsFormat, WrongKindsMissingArgumentsAndBadFormatsRaise) {
  auto reasonOf = [](auto&& call) -> std::string {
    try {
      call();
    } catch (const NSException& e) {
      EXPECT_TRUE(e.name()->isEqualToString(NSInvalidArgumentException));
      return e.reason()->utf8();
    }
    return "no exception";
  };
  EXPECT_NE(reasonOf([] { F("%d", {"text"}); }).find("wants an integer"), std::string::npos);
  EXPECT_NE(reasonOf([] { F("%@", {5}); }).find("wants an object"), std::string::npos);
  EXPECT_NE(reasonOf([] { F("%f", {5}); }).find("floating-point"), std::string::npos);
  EXPECT_NE(reasonOf([] { F("%s", {1.5}); }).find("C string"), std::string::npos);
  EXPECT_NE(reasonOf([] { F("%d %d", {1}); }).find("missing argument 2"), std::string::npos);
  EXPECT_NE(reasonOf([] { F("abc%", {}); }).find("ends inside"), std::string::npos);
  EXPECT_NE(reasonOf([] { F("%n", {1}); }).find("unsupported"), std::string::npos);
  EXPECT_EQ(F("%d", {1, 2}), "1");  // extra arguments are ignored, as in C
  EXPECT_THROW(NSString::stringWithFormat("%@", 1.5), NSException);
}

TEST(ObjectsFormat, OutputIsTheSameInAGermanLocale) {
  const char* before = switchLocale(nullptr);
  std::string saved = before ? before : "C";
  if (!switchLocale("de_DE.UTF-8")) GTEST_SKIP() << "de_DE.UTF-8 is not installed";
  char probe[32];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5");  // the locale is really active
  std::string formatted = NSString::stringWithFormat("%.2f %g %e %d %@ %@", 1234.5, 0.25, 1e10, 1234567,
                                                     NSNumber::numberWithDouble(2.75), NSNumber::numberWithFloat(0.1f))
                              ->utf8();
  std::string described = NSArray::make({NSNumber::numberWithDouble(-0.5), NSNumber::numberWithDouble(1e100)})->description()->utf8();
  double parsed = "3.5"_ns->doubleValue();
  switchLocale(saved.c_str());
  EXPECT_EQ(formatted, "1234.50 0.25 1.000000e+10 1234567 2.75 0.1");
  EXPECT_EQ(described, "(\n    \"-0.5\",\n    \"1e+100\"\n)");
  EXPECT_EQ(parsed, 3.5);
}

}  // namespace
