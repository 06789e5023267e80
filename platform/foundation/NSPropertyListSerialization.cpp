#include "platform/foundation/NSPropertyListSerialization.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/NSString.h"
#include "platform/foundation/NSArray.h"
#include "platform/foundation/NSData.h"
#include "platform/foundation/NSDate.h"
#include "platform/foundation/NSDictionary.h"
#include "platform/foundation/NSError.h"
#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"

namespace {

constexpr int kMaxDepth = 512;

// ---------------------------------------------------------------- Base64

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64Encode(const uint8_t* p, size_t n) {
  std::string out;
  out.reserve((n + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 2 < n; i += 3) {
    uint32_t v = (uint32_t(p[i]) << 16) | (uint32_t(p[i + 1]) << 8) | p[i + 2];
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i < n) {
    uint32_t v = uint32_t(p[i]) << 16;
    if (i + 1 < n) v |= uint32_t(p[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += i + 1 < n ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// White space is skipped; anything else outside the alphabet, or data after padding, fails.
bool base64Decode(std::string_view in, std::vector<uint8_t>& out) {
  uint32_t acc = 0;
  int bits = 0, pad = 0;
  for (char c : in) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    if (c == '=') {
      ++pad;
      continue;
    }
    if (pad) return false;
    const char* at = std::strchr(kAlphabet, c);
    if (!at || c == '\0') return false;
    acc = (acc << 6) | uint32_t(at - kAlphabet);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(uint8_t(acc >> bits));
      acc &= (1u << bits) - 1;
    }
  }
  return pad <= 2;
}

// ---------------------------------------------------------------- writing

// Strict UTF-8 of characters XML 1.0 can carry: no surrogates, no U+FFFE/U+FFFF, no control
// characters but tab, line feed and carriage return.
bool xmlSafe(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
      if (c == 0x7f) {
        ++i;
        continue;
      }
      ++i;
      continue;
    }
    int len = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 0;
    if (len == 0 || i + size_t(len) > s.size()) return false;
    uint32_t cp = c & (0x7f >> len);
    for (int k = 1; k < len; ++k) {
      auto cc = static_cast<unsigned char>(s[i + size_t(k)]);
      if ((cc & 0xc0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3f);
    }
    if ((len == 2 && cp < 0x80) || (len == 3 && cp < 0x800) || (len == 4 && (cp < 0x10000 || cp > 0x10ffff)))
      return false;
    if ((cp >= 0xd800 && cp <= 0xdfff) || cp == 0xfffe || cp == 0xffff) return false;
    i += size_t(len);
  }
  return true;
}

void appendEscaped(std::string& out, std::string_view s) {
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '\r': out += "&#13;"; break;
      default: out += c;
    }
  }
}

std::string formatReal(double v) {
  if (std::isnan(v)) return "nan";
  if (std::isinf(v)) return v > 0 ? "+infinity" : "-infinity";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string formatDate(const NSDate& date) {
  double t = std::floor(date.timeIntervalSince1970());
  if (!std::isfinite(t)) t = 0;
  t = std::fmax(std::fmin(t, 2.5e14), -2.5e14);
  auto secs = static_cast<int64_t>(t);
  int64_t days = zvt::floorDiv(secs, 86400), rem = zvt::floorMod(secs, 86400), y, m, d;
  zvt::civilFromDays(days, y, m, d);
  char buf[160];  // room for six 64-bit fields, so the compiler can prove no truncation
  std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", static_cast<long long>(y),
                static_cast<long long>(m), static_cast<long long>(d), static_cast<long long>(rem / 3600),
                static_cast<long long>(rem / 60 % 60), static_cast<long long>(rem % 60));
  return buf;
}

struct Writer {
  std::string out;
  std::string problem;  // why the object is not a property list

  void indent(int level) { out.append(size_t(level), '\t'); }

  bool string(const NSString& s, const char* tag, int level) {
    if (!xmlSafe(s.view())) {
      problem = "property list strings may not contain characters XML cannot carry";
      return false;
    }
    indent(level);
    out += '<';
    out += tag;
    out += '>';
    appendEscaped(out, s.view());
    out += "</";
    out += tag;
    out += ">\n";
    return true;
  }

  bool write(const id& object, int level) {
    if (level > kMaxDepth) {
      problem = "property list nested too deeply";
      return false;
    }
    if (!object) {
      problem = "property lists cannot contain nil";
      return false;
    }
    if (auto s = zvt::as<NSString>(object)) return string(*s, "string", level);
    if (auto n = zvt::as<NSNumber>(object)) {
      indent(level);
      if (n->isBoolean()) out += n->boolValue() ? "<true/>\n" : "<false/>\n";
      else if (n->isFloatingPoint()) out += "<real>" + formatReal(n->doubleValue()) + "</real>\n";
      else if (n->isUnsigned()) out += "<integer>" + std::to_string(n->unsignedLongLongValue()) + "</integer>\n";
      else out += "<integer>" + std::to_string(n->longLongValue()) + "</integer>\n";
      return true;
    }
    if (auto date = zvt::as<NSDate>(object)) {
      indent(level);
      out += "<date>" + formatDate(*date) + "</date>\n";
      return true;
    }
    if (auto data = zvt::as<NSData>(object)) {
      std::string text = base64Encode(data->bytes(), data->length());
      indent(level);
      out += "<data>\n";
      for (size_t at = 0; at < text.size(); at += 76) {
        indent(level);
        out.append(text, at, 76);
        out += '\n';
      }
      indent(level);
      out += "</data>\n";
      return true;
    }
    if (auto array = zvt::as<NSArray>(object)) {
      indent(level);
      if (array->count() == 0) {
        out += "<array/>\n";
        return true;
      }
      out += "<array>\n";
      for (NSUInteger i = 0; i < array->count(); ++i)
        if (!write(array->objectAtIndex(i), level + 1)) return false;
      indent(level);
      out += "</array>\n";
      return true;
    }
    if (auto dict = zvt::as<NSDictionary>(object)) {
      auto pairs = dict->allPairs();
      for (auto& [key, value] : pairs)
        if (!zvt::as<NSString>(key)) {
          problem = "property list dictionaries may only have keys which are strings, not '" +
                    (key ? key->className() : std::string("nil")) + "'";
          return false;
        }
      std::sort(pairs.begin(), pairs.end(), [](const auto& a, const auto& b) {
        return std::static_pointer_cast<NSString>(a.first)->compare(std::static_pointer_cast<NSString>(b.first)) ==
               NSOrderedAscending;
      });
      indent(level);
      if (pairs.empty()) {
        out += "<dict/>\n";
        return true;
      }
      out += "<dict>\n";
      for (auto& [key, value] : pairs) {
        if (!string(*std::static_pointer_cast<NSString>(key), "key", level + 1)) return false;
        if (!write(value, level + 1)) return false;
      }
      indent(level);
      out += "</dict>\n";
      return true;
    }
    problem = "property lists cannot contain objects of type '" + object->className() + "'";
    return false;
  }
};

// ---------------------------------------------------------------- reading

std::once_flag gXmlInit;

bool isBlank(std::string_view s) {
  return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::string_view trim(std::string_view s) {
  auto a = s.find_first_not_of(" \t\r\n");
  if (a == std::string_view::npos) return {};
  auto b = s.find_last_not_of(" \t\r\n");
  return s.substr(a, b - a + 1);
}

struct Reader {
  NSPropertyListReadOptions options;
  std::string problem;

  bool fail(std::string why) {
    if (problem.empty()) problem = std::move(why);
    return false;
  }

  // The text of an element with only text children; an entity the parser left unexpanded
  // (declared in an internal subset) or a nested element is an error.
  bool textOf(xmlNode* node, std::string& out) {
    out.clear();
    for (xmlNode* c = node->children; c; c = c->next) {
      if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
        if (c->content) out += reinterpret_cast<const char*>(c->content);
      } else if (c->type == XML_COMMENT_NODE || c->type == XML_PI_NODE) {
        continue;
      } else {
        return fail("unexpected content in <" + std::string(reinterpret_cast<const char*>(node->name)) + ">");
      }
    }
    return true;
  }

  // The element children; text between them must be blank.
  bool elementsOf(xmlNode* node, std::vector<xmlNode*>& out) {
    for (xmlNode* c = node->children; c; c = c->next) {
      if (c->type == XML_ELEMENT_NODE) out.push_back(c);
      else if (c->type == XML_TEXT_NODE || c->type == XML_CDATA_SECTION_NODE) {
        if (c->content && !isBlank(reinterpret_cast<const char*>(c->content))) return fail("stray text in container");
      } else if (c->type != XML_COMMENT_NODE && c->type != XML_PI_NODE) {
        return fail("unexpected content in container");
      }
    }
    return true;
  }

  std::shared_ptr<NSString> makeString(const std::string& text) {
    auto s = NSString::stringWithUTF8String(std::string_view(text));
    if (!s) return nullptr;
    if (options == NSPropertyListMutableContainersAndLeaves) return NSMutableString::stringWithString(s);
    return s;
  }

  id read(xmlNode* node, int depth) {
    if (depth > kMaxDepth) {
      fail("property list nested too deeply");
      return nullptr;
    }
    std::string_view name(reinterpret_cast<const char*>(node->name));
    std::string text;
    if (name == "string") {
      if (!textOf(node, text)) return nullptr;
      auto s = makeString(text);
      if (!s) fail("string is not valid UTF-8");
      return s;
    }
    if (name == "integer") {
      if (!textOf(node, text)) return nullptr;
      auto t = trim(text);
      if (!t.empty() && t.front() == '+') t.remove_prefix(1);
      if (!t.empty() && t.front() == '-') {
        long long v = 0;
        auto r = std::from_chars(t.data(), t.data() + t.size(), v);
        if (r.ec == std::errc() && r.ptr == t.data() + t.size()) return NSNumber::numberWithLongLong(v);
      } else {
        unsigned long long v = 0;
        int base = 10;
        if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
          t.remove_prefix(2);
          base = 16;
        }
        auto r = std::from_chars(t.data(), t.data() + t.size(), v, base);
        if (!t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size())
          return v <= uint64_t(INT64_MAX) ? NSNumber::numberWithLongLong(static_cast<long long>(v))
                                           : NSNumber::numberWithUnsignedLongLong(v);
      }
      fail("invalid integer");
      return nullptr;
    }
    if (name == "real") {
      if (!textOf(node, text)) return nullptr;
      auto t = trim(text);
      std::string lower;
      for (char c : t) lower += char(std::tolower(static_cast<unsigned char>(c)));
      if (lower == "nan") return NSNumber::numberWithDouble(NAN);
      if (lower == "+infinity" || lower == "infinity" || lower == "inf" || lower == "+inf")
        return NSNumber::numberWithDouble(INFINITY);
      if (lower == "-infinity" || lower == "-inf") return NSNumber::numberWithDouble(-INFINITY);
      if (!t.empty() && t.front() == '+') t.remove_prefix(1);
      double v = 0;
      auto r = std::from_chars(t.data(), t.data() + t.size(), v);
      if (!t.empty() && r.ec == std::errc() && r.ptr == t.data() + t.size()) return NSNumber::numberWithDouble(v);
      fail("invalid real");
      return nullptr;
    }
    if (name == "true" || name == "false") {
      if (!textOf(node, text) || !isBlank(text)) {
        fail("boolean with content");
        return nullptr;
      }
      return NSNumber::numberWithBool(name == "true");
    }
    if (name == "date") {
      if (!textOf(node, text)) return nullptr;
      auto date = parseDate(trim(text));
      if (!date) fail("invalid date");
      return date;
    }
    if (name == "data") {
      if (!textOf(node, text)) return nullptr;
      std::vector<uint8_t> bytes;
      if (!base64Decode(text, bytes)) {
        fail("invalid base64 data");
        return nullptr;
      }
      if (options == NSPropertyListMutableContainersAndLeaves)
        return NSMutableData::dataWithBytes(bytes.data(), bytes.size());
      return NSData::dataWithVector(std::move(bytes));
    }
    if (name == "array") {
      std::vector<xmlNode*> children;
      if (!elementsOf(node, children)) return nullptr;
      auto array = NSMutableArray::arrayWithCapacity(children.size());
      for (xmlNode* c : children) {
        auto value = read(c, depth + 1);
        if (!value) return nullptr;
        array->addObject(value);
      }
      if (options == NSPropertyListImmutable) return array->copy();
      return array;
    }
    if (name == "dict") {
      std::vector<xmlNode*> children;
      if (!elementsOf(node, children)) return nullptr;
      if (children.size() % 2) {
        fail("dictionary with a key and no value");
        return nullptr;
      }
      auto dict = NSMutableDictionary::dictionaryWithCapacity(children.size() / 2);
      for (size_t i = 0; i < children.size(); i += 2) {
        if (std::string_view(reinterpret_cast<const char*>(children[i]->name)) != "key") {
          fail("dictionary entry without <key>");
          return nullptr;
        }
        if (!textOf(children[i], text)) return nullptr;
        auto key = NSString::stringWithUTF8String(std::string_view(text));
        if (!key) {
          fail("key is not valid UTF-8");
          return nullptr;
        }
        auto value = read(children[i + 1], depth + 1);
        if (!value) return nullptr;
        dict->setObject(value, key);
      }
      if (options == NSPropertyListImmutable) return dict->copy();
      return dict;
    }
    fail("unknown element <" + std::string(name) + ">");
    return nullptr;
  }

  static std::shared_ptr<NSDate> parseDate(std::string_view t) {
    // yyyy-MM-ddTHH:mm:ss[.fff]Z
    auto num = [&](size_t at, size_t n, int64_t& v) {
      if (at + n > t.size()) return false;
      v = 0;
      for (size_t i = at; i < at + n; ++i) {
        if (t[i] < '0' || t[i] > '9') return false;
        v = v * 10 + (t[i] - '0');
      }
      return true;
    };
    int64_t y, mo, d, h, mi, s;
    if (t.size() < 20 || !num(0, 4, y) || t[4] != '-' || !num(5, 2, mo) || t[7] != '-' || !num(8, 2, d) ||
        t[10] != 'T' || !num(11, 2, h) || t[13] != ':' || !num(14, 2, mi) || t[16] != ':' || !num(17, 2, s))
      return nullptr;
    size_t at = 19;
    double frac = 0;
    if (t[at] == '.') {
      double scale = 0.1;
      ++at;
      while (at < t.size() && t[at] >= '0' && t[at] <= '9') {
        frac += (t[at] - '0') * scale;
        scale /= 10;
        ++at;
      }
    }
    if (at + 1 != t.size() || t[at] != 'Z') return nullptr;
    if (mo < 1 || mo > 12 || d < 1 || d > zvt::daysInMonth(y, mo) || h > 23 || mi > 59 || s > 60) return nullptr;
    int64_t secs = zvt::daysFromCivil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s;
    return NSDate::dateWithTimeIntervalSince1970(double(secs) + frac);
  }
};

std::shared_ptr<NSError> readError(const std::string& why) {
  return NSError::errorWithDomain(
      NSCocoaErrorDomain, NSPropertyListReadCorruptError,
      NSDictionary::make({{NSLocalizedDescriptionKey.get(),
                           NSString::fromValidUTF8("The data couldn’t be read because it isn’t in the correct format.")},
                          {"NSDebugDescription"_ns, NSString::stringWithUTF8String(std::string_view(why))
                                                        ? NSString::stringWithUTF8String(std::string_view(why))
                                                        : NSString::string()}}));
}

}  // namespace

bool NSPropertyListSerialization::propertyList(const id& plist, NSPropertyListFormat format) {
  if (format != NSPropertyListXMLFormat_v1_0) return false;
  Writer w;
  return w.write(plist, 0);
}

std::shared_ptr<NSData> NSPropertyListSerialization::dataWithPropertyList(const id& plist, NSPropertyListFormat format,
                                                                          NSPropertyListWriteOptions,
                                                                          std::shared_ptr<NSError>* error) {
  if (format != NSPropertyListXMLFormat_v1_0) {
    zvt::setError(error, NSCocoaErrorDomain, NSPropertyListWriteInvalidError,
                  NSString::stringWithFormat("Property list format %lu is not supported for writing.",
                                             static_cast<unsigned long>(format)));
    return nullptr;
  }
  Writer w;
  w.out =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<!DOCTYPE plist PUBLIC \"-//Apple//DTD PLIST 1.0//EN\" \"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
      "<plist version=\"1.0\">\n";
  if (!w.write(plist, 0)) {
    zvt::setError(error, NSCocoaErrorDomain, NSPropertyListWriteInvalidError,
                  NSString::stringWithFormat("Property list invalid for format: 100 (%s)", w.problem));
    return nullptr;
  }
  w.out += "</plist>\n";
  return NSData::dataWithString(w.out);
}

id NSPropertyListSerialization::propertyListWithData(const std::shared_ptr<NSData>& data,
                                                     NSPropertyListReadOptions options, NSPropertyListFormat* format,
                                                     std::shared_ptr<NSError>* error) {
  if (!data || data->length() == 0) {
    zvt::setError(error, readError("Cannot parse a NULL or zero-length data"));
    return nullptr;
  }
  if (data->length() >= 6 && std::memcmp(data->bytes(), "bplist", 6) == 0) {
    zvt::setError(error, readError("binary property lists are not supported"));
    return nullptr;
  }
  if (data->length() > size_t(INT32_MAX)) {
    zvt::setError(error, readError("property list too large"));
    return nullptr;
  }
  std::call_once(gXmlInit, [] { xmlInitParser(); });
  xmlDoc* doc = xmlReadMemory(reinterpret_cast<const char*>(data->bytes()), int(data->length()), "plist.xml", nullptr,
                              // No size caps beyond the input's own: what was written must read
                              // back. Entities are never substituted, so nothing can expand.
                              XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING | XML_PARSE_HUGE);
  if (!doc) {
    zvt::setError(error, readError("malformed XML"));
    return nullptr;
  }
  Reader reader{options, {}};
  id result;
  xmlNode* root = xmlDocGetRootElement(doc);
  if (!root) {
    reader.fail("no root element");
  } else if (std::string_view(reinterpret_cast<const char*>(root->name)) == "plist") {
    std::vector<xmlNode*> children;
    if (reader.elementsOf(root, children)) {
      if (children.size() != 1) reader.fail("<plist> must hold exactly one value");
      else result = reader.read(children[0], 0);
    }
  } else {
    result = reader.read(root, 0);
  }
  xmlFreeDoc(doc);
  if (!result) {
    zvt::setError(error, readError(reader.problem.empty() ? "invalid property list" : reader.problem));
    return nullptr;
  }
  if (format) *format = NSPropertyListXMLFormat_v1_0;
  return result;
}

namespace zvt {

id propertyListDeepCopy(const id& plist) {
  if (!plist) return nullptr;
  if (auto s = as<NSString>(plist)) return s->copy();
  if (auto n = as<NSNumber>(plist)) return n;
  if (auto d = as<NSDate>(plist)) return d;
  if (auto data = as<NSData>(plist)) return data->copy();
  if (auto array = as<NSArray>(plist)) {
    std::vector<id> items;
    items.reserve(array->count());
    for (NSUInteger i = 0; i < array->count(); ++i) {
      auto item = propertyListDeepCopy(array->objectAtIndex(i));
      if (!item) return nullptr;
      items.push_back(item);
    }
    return NSArray::arrayWithObjects(std::move(items));
  }
  if (auto dict = as<NSDictionary>(plist)) {
    std::vector<std::pair<id, id>> pairs;
    for (auto& [key, value] : dict->allPairs()) {
      auto k = as<NSString>(key);
      auto v = propertyListDeepCopy(value);
      if (!k || !v) return nullptr;
      pairs.emplace_back(k->copy(), v);
    }
    return NSDictionary::dictionaryWithPairs(std::move(pairs));
  }
  return nullptr;
}

}  // namespace zvt
