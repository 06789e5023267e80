// Any bytes through both decoders: nil or data, never a crash; whatever decodes re-encodes to a
// text that decodes to the same bytes.
#include <cstddef>
#include <cstdint>

#include "foundation/base64/BCBase64.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto standard = BCBase64::decodeBytes(data, size);
  auto webSafe = BCBase64::webSafeDecodeBytes(data, size);
  if (standard) {
    if (standard->length() == 0) __builtin_trap();
    auto back = BCBase64::decodeData(BCBase64::encodeData(standard));
    if (!back || !back->isEqualToData(standard)) __builtin_trap();
  }
  if (webSafe) {
    auto back = BCBase64::webSafeDecodeData(BCBase64::webSafeEncodeData(webSafe, size % 2 == 0));
    if (!back || !back->isEqualToData(webSafe)) __builtin_trap();
  }
  return 0;
}
