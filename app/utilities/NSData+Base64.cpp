#include "app/utilities/NSData+Base64.h"

#include <string>
#include <vector>

#include "app/utilities/TovrelUntiles.h"

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::shared_ptr<NSData> dataFromBase64String(const std::shared_ptr<NSString>& text) {
  if (!text || !text->isASCII()) return NSData::data();
  std::string_view in = text->view();
  std::vector<uint8_t> out;
  out.reserve((in.size() + 3) / 4 * 3);
  int group[4];
  int gathered = 0;
  auto flush = [&] {
    if (gathered >= 2) out.push_back(static_cast<uint8_t>(group[0] << 2 | group[1] >> 4));
    if (gathered >= 3) out.push_back(static_cast<uint8_t>((group[1] & 15) << 4 | group[2] >> 2));
    if (gathered >= 4) out.push_back(static_cast<uint8_t>((group[2] & 3) << 6 | group[3]));
    gathered = 0;
  };
  for (unsigned char c : in) {
    int v = valueOf(c);
    if (v < 0) continue;
    group[gathered++] = v;
    if (gathered == 4) flush();
  }
  flush();
  return NSData::dataWithVector(std::move(out));
}

std::shared_ptr<NSString> base64EncodedStringWithSeparateLines(const std::shared_ptr<NSData>& data,
                                                               bool separateLines) {
  if (!data) return nullptr;
  const uint8_t* in = data->bytes();
  const size_t n = data->length();
  std::string out;
  out.reserve((n + 2) / 3 * 4 * 66 / 64 + 2);
  for (size_t i = 0; i < n; i += 3) {
    if (separateLines && i > 0 && i % 48 == 0) out += "\r\n";
    uint32_t chunk = static_cast<uint32_t>(in[i]) << 16;
    if (i + 1 < n) chunk |= static_cast<uint32_t>(in[i + 1]) << 8;
    if (i + 2 < n) chunk |= in[i + 2];
    out += kAlphabet[chunk >> 18 & 63];
    out += kAlphabet[chunk >> 12 & 63];
    out += i + 1 < n ? kAlphabet[chunk >> 6 & 63] : '=';
    out += i + 2 < n ? kAlphabet[chunk & 63] : '=';
  }
  return NSString::fromValidUTF8(std::move(out));
}

std::shared_ptr<NSString> base64EncodedString(const std::shared_ptr<NSData>& data) {
  return base64EncodedStringWithSeparateLines(data, true);
}

std::shared_ptr<NSData> AES128Operation(const std::shared_ptr<NSData>& data, NSUInteger operation,
                                        const std::shared_ptr<NSString>& key, const std::shared_ptr<NSString>& iv) {
  return zvt::tovrelAES128(data, operation, key, iv);
}

std::shared_ptr<NSData> AES128EncryptWithKey(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& key) {
  return zvt::tovrelAES128(data, 0, key, zvt::kTovrelFixedAESIV);
}

std::shared_ptr<NSData> AES128DecryptWithKey(const std::shared_ptr<NSData>& data, const std::shared_ptr<NSString>& key) {
  return zvt::tovrelAES128(data, 1, key, zvt::kTovrelFixedAESIV);
}
