// Any bytes under every option set: the decoder answers an object or an error, never crashes;
// whatever it accepts is written back and read again to an equal tree.
#include <cstddef>
#include <cstdint>

#include "foundation/json/JCSerializer.h"
#include "foundation/json/JSONDecoder.h"
#include "platform/foundation/NSException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the options and the container kind; the rest is the document.
  const JCParseOptionFlags options = data[0] & JCParseOptionValid;
  const bool mutableContainers = data[0] & 0x10;
  auto decoder = JSONDecoder::decoderWithParseOptions(options);
  std::shared_ptr<NSError> error;
  id object = mutableContainers ? decoder->mutableObjectWithUTF8String(data + 1, size - 1, &error)
                                : decoder->objectWithUTF8String(data + 1, size - 1, &error);
  if (!object) {
    if (!error || !error->domain()->isEqualToString("JCErrorDomain")) __builtin_trap();
    return 0;
  }
  // Lenient reading may keep what the writer refuses to escape (non-characters); otherwise the
  // text must survive a round trip.
  std::shared_ptr<NSData> text;
  if (auto array = zvt::as<NSArray>(object)) {
    text = JSONDataWithOptions(*array, data[0] & 0x20 ? JCSerializePretty : JCSerializePlain, nullptr);
  } else if (auto dictionary = zvt::as<NSDictionary>(object)) {
    text = JSONDataWithOptions(*dictionary, data[0] & 0x20 ? JCSerializePretty : JCSerializePlain, nullptr);
  } else {
    __builtin_trap();
  }
  if (!text) __builtin_trap();
  id again = JSONDecoder::decoderWithParseOptions(options & JCParseLenientUnicode)->objectWithData(text);
  if (!again || !again->isEqual(object)) __builtin_trap();
  return 0;
}
