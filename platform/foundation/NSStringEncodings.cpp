#include "platform/foundation/NSStringEncodings.h"

#include <iconv.h>
#include <unicode/translit.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/foundation/internal/Unicode.h"

namespace {

struct EncodingInfo {
  NSStringEncoding encoding;
  const char* iconvName;  // null: NSString converts it itself
  const char* ianaName;
};

// Names a reply's charset may carry, lower case; the first entry of an encoding is its
// canonical name.
const std::vector<std::pair<std::string, EncodingInfo>>& table() {
  static const auto* entries = new std::vector<std::pair<std::string, EncodingInfo>>{
      {"utf-8", {NSUTF8StringEncoding, nullptr, "utf-8"}},
      {"utf8", {NSUTF8StringEncoding, nullptr, "utf-8"}},
      {"us-ascii", {NSASCIIStringEncoding, nullptr, "us-ascii"}},
      {"ascii", {NSASCIIStringEncoding, nullptr, "us-ascii"}},
      {"iso-8859-1", {NSISOLatin1StringEncoding, nullptr, "iso-8859-1"}},
      {"latin1", {NSISOLatin1StringEncoding, nullptr, "iso-8859-1"}},
      {"iso_8859-1", {NSISOLatin1StringEncoding, nullptr, "iso-8859-1"}},
      {"utf-16", {NSUTF16StringEncoding, nullptr, "utf-16"}},
      {"utf-16be", {NSUTF16BigEndianStringEncoding, nullptr, "utf-16be"}},
      {"utf-16le", {NSUTF16LittleEndianStringEncoding, nullptr, "utf-16le"}},
      {"utf-32", {NSUTF32StringEncoding, nullptr, "utf-32"}},
      {"macintosh", {NSMacOSRomanStringEncoding, nullptr, "macintosh"}},
      {"euc-jp", {NSJapaneseEUCStringEncoding, "EUC-JP", "euc-jp"}},
      {"shift_jis", {NSShiftJISStringEncoding, "SHIFT_JIS", "shift_jis"}},
      {"iso-8859-2", {NSISOLatin2StringEncoding, "ISO-8859-2", "iso-8859-2"}},
      {"windows-1251", {NSWindowsCP1251StringEncoding, "CP1251", "windows-1251"}},
      {"windows-1252", {NSWindowsCP1252StringEncoding, "CP1252", "windows-1252"}},
      {"windows-1253", {NSWindowsCP1253StringEncoding, "CP1253", "windows-1253"}},
      {"windows-1254", {NSWindowsCP1254StringEncoding, "CP1254", "windows-1254"}},
      {"windows-1250", {NSWindowsCP1250StringEncoding, "CP1250", "windows-1250"}},
      {"iso-2022-jp", {NSISO2022JPStringEncoding, "ISO-2022-JP", "iso-2022-jp"}},
      {"gbk", {kZVTGBKStringEncoding, "GBK", "gbk"}},
      {"cp936", {kZVTGBKStringEncoding, "GBK", "gbk"}},
      {"gb18030", {kZVTGB18030StringEncoding, "GB18030", "gb18030"}},
      {"gb2312", {kZVTEUCCNStringEncoding, "GB2312", "gb2312"}},
      {"euc-cn", {kZVTEUCCNStringEncoding, "GB2312", "gb2312"}},
      {"euc-kr", {kZVTEUCKRStringEncoding, "EUC-KR", "euc-kr"}},
      {"big5", {kZVTBig5StringEncoding, "BIG5", "big5"}},
      {"koi8-r", {kZVTKOI8RStringEncoding, "KOI8-R", "koi8-r"}},
  };
  return *entries;
}

const EncodingInfo* infoOf(NSStringEncoding encoding) {
  for (const auto& [name, info] : table()) {
    if (info.encoding == encoding) return &info;
  }
  return nullptr;
}

// One conversion through iconv; false when the input is invalid or a character has no form.
bool convert(const char* to, const char* from, const char* in, size_t length, std::string& out) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  out.clear();
  std::vector<char> buffer(std::max<size_t>(64, length * 4 + 16));
  char* inPtr = const_cast<char*>(in);
  size_t inLeft = length;
  bool ok = true;
  while (true) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd, inLeft ? &inPtr : nullptr, inLeft ? &inLeft : nullptr, &outPtr, &outLeft);
    out.append(buffer.data(), buffer.size() - outLeft);
    if (r != static_cast<size_t>(-1)) {
      if (inLeft == 0) {
        // Flush any shift state (stateful encodings such as ISO-2022-JP).
        outPtr = buffer.data();
        outLeft = buffer.size();
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        break;
      }
      continue;
    }
    if (errno == E2BIG) continue;
    ok = false;  // EILSEQ or EINVAL (truncated sequence at the end)
    break;
  }
  iconv_close(cd);
  return ok;
}

}  // namespace

namespace zvt {

NSStringEncoding encodingForIANACharSetName(const std::shared_ptr<NSString>& name) {
  if (!name) return kZVTInvalidStringEncoding;
  std::string key = name->utf8();
  // Surrounding blanks and quotes, as a charset parameter may carry them.
  auto notTrim = [](char c) { return c != ' ' && c != '"' && c != '\t'; };
  key.erase(key.begin(), std::find_if(key.begin(), key.end(), notTrim));
  key.erase(std::find_if(key.rbegin(), key.rend(), notTrim).base(), key.end());
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [entry, info] : table()) {
    if (entry == key) return info.encoding;
  }
  return kZVTInvalidStringEncoding;
}

std::shared_ptr<NSString> IANACharSetNameOfEncoding(NSStringEncoding encoding) {
  const EncodingInfo* info = infoOf(encoding);
  return info ? NSString::stringWithUTF8String(info->ianaName) : nullptr;
}

std::shared_ptr<NSString> stringWithBytes(const void* bytes, size_t length, NSStringEncoding encoding) {
  const EncodingInfo* info = infoOf(encoding);
  if (!info || !info->iconvName) return NSString::initWithBytes(bytes ? bytes : "", length, encoding);
  std::string utf8;
  if (!convert("UTF-8", info->iconvName, static_cast<const char*>(bytes ? bytes : ""), length, utf8)) return nullptr;
  return NSString::stringWithUTF8String(std::string_view(utf8));
}

std::shared_ptr<NSString> stringWithData(const std::shared_ptr<NSData>& data, NSStringEncoding encoding) {
  if (!data) return nullptr;
  return stringWithBytes(data->bytes(), data->length(), encoding);
}

bool isValidUTF8(std::string_view bytes) { return unicode::validateUtf8(bytes, nullptr, nullptr); }

std::shared_ptr<NSData> dataWithString(const std::shared_ptr<NSString>& string, NSStringEncoding encoding) {
  if (!string) return nullptr;
  const EncodingInfo* info = infoOf(encoding);
  if (!info || !info->iconvName) return string->dataUsingEncoding(encoding);
  std::string out;
  if (!convert(info->iconvName, "UTF-8", string->utf8().data(), string->utf8().size(), out)) return nullptr;
  return NSData::dataWithString(out);
}

std::shared_ptr<NSString> stringByApplyingTransform(const std::shared_ptr<NSString>& string, const std::string& transformID) {
  if (!string) return nullptr;
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<icu::Transliterator> transliterator(
      icu::Transliterator::createInstance(icu::UnicodeString::fromUTF8(transformID), UTRANS_FORWARD, status));
  if (U_FAILURE(status) || !transliterator) return nullptr;
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(string->utf8());
  transliterator->transliterate(text);
  std::string out;
  text.toUTF8String(out);
  return NSString::stringWithUTF8String(std::string_view(out));
}

}  // namespace zvt
