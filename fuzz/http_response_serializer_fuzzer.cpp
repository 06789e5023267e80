// Replies of any bytes through the JSON, property-list and image response serializers (the
// first input byte picks the serializer, the content type and the charset): no crash, no leak,
// and a refusal always carries an error. Pictures are decoded within the fuzzing budget
// (FuzzImageBudget.h).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "foundation/http/NWImageResponseSerializer.h"
#include "foundation/http/NWURLResponseSerialization.h"
#include "fuzz/FuzzImageBudget.h"
#include "platform/foundation/Foundation.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  zvt::ImageDecodingBudgetScope budget(zvt::fuzz::kImageBudget);
  static const char* kTypes[] = {"application/json; charset=utf-8", "application/json; charset=gbk", "text/plain",
                                 "application/x-plist", "image/png", "image/jpeg", "image/gif", "application/json"};
  uint8_t selector = data[0];
  auto body = NSData::dataWithBytes(data + 1, size - 1);
  int status = (selector & 0x40) ? 404 : 200;
  auto response = NSHTTPURLResponse::initWithURL(
      NSURL::URLWithString("http://h.test/r"), status, "HTTP/1.1"_ns,
      NSDictionary::make({{"Content-Type"_ns, NSString::stringWithUTF8String(kTypes[selector & 7])}}));
  std::shared_ptr<NWHTTPResponseSerializer> serializer;
  switch ((selector >> 3) & 3) {
    case 0: serializer = NWJSONResponseSerializer::serializer(); break;
    case 1: {
      auto json = NWJSONResponseSerializer::serializer();
      json->setRemovesKeysWithNullValues(true);
      serializer = json;
      break;
    }
    case 2: serializer = NWPropertyListResponseSerializer::serializer(); break;
    default: serializer = NWImageResponseSerializer::serializer(); break;
  }
  std::shared_ptr<NSError> error;
  bool valid = serializer->validateResponse(response, body, nullptr);
  id object = serializer->responseObjectForResponse(response, body, &error);
  if (!valid && !error) std::abort();  // a refusal without an error would pass as success
  (void)object;
  return 0;
}
