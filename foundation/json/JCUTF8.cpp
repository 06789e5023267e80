#include "foundation/json/JCUTF8.h"

namespace zvt::json {

UTF8Sequence decodeUTF8Sequence(const uint8_t* p, const uint8_t* end) {
  const uint8_t lead = *p;
  // Announced length: what the lead byte claims, also for leads that are themselves illegal,
  // so that an illegal sequence is skipped as one unit.
  int length;
  uint32_t cp;
  uint8_t lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  bool legalLead = true;
  if (lead < 0xC0) {
    length = 1;  // a stray continuation byte
    legalLead = false;
    cp = 0;
  } else if (lead < 0xE0) {
    length = 2;
    legalLead = lead >= 0xC2;  // C0 and C1 only make overlong forms
    cp = lead & 0x1F;
  } else if (lead < 0xF0) {
    length = 3;
    cp = lead & 0x0F;
    if (lead == 0xE0) lo = 0xA0;  // overlong below U+0800
    if (lead == 0xED) hi = 0x9F;  // surrogates
  } else if (lead < 0xF8) {
    length = 4;
    cp = lead & 0x07;
    legalLead = lead <= 0xF4;
    if (lead == 0xF0) lo = 0x90;  // overlong below U+10000
    if (lead == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else if (lead < 0xFC) {
    length = 5;
    legalLead = false;
    cp = 0;
  } else if (lead < 0xFE) {
    length = 6;
    legalLead = false;
    cp = 0;
  } else {
    length = 1;
    legalLead = false;
    cp = 0;
  }

  auto illegal = [&]() {
    const uint8_t* q = p + 1;
    for (int k = 1; k < length && q < end && (*q & 0xC0) == 0x80; ++k) ++q;
    return UTF8Sequence{UTF8Status::illegal, 0xFFFD, q};
  };
  if (!legalLead) return illegal();

  const uint8_t* q = p + 1;
  for (int k = 1; k < length; ++k, ++q) {
    if (q >= end) return UTF8Sequence{UTF8Status::truncated, 0xFFFD, end};
    uint8_t c = *q;
    if (k == 1 ? (c < lo || c > hi) : (c & 0xC0) != 0x80) return illegal();
    cp = (cp << 6) | (c & 0x3F);
  }
  if (isIllegalCodePoint(cp)) return UTF8Sequence{UTF8Status::illegal, 0xFFFD, q};
  return UTF8Sequence{UTF8Status::wellFormed, cp, q};
}

}  // namespace zvt::json
