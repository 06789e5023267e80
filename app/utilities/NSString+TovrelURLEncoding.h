#pragma once
// The NSString(TovrelURLEncoding) category.

#include <memory>

#include "platform/foundation/NSString.h"

// Percent-escapes (upper-case hex per UTF-8 byte) everything but letters, digits and
// "-_.!~*'()": characters that may not stand in a URL and the reserved ";/?:@&=$+{}<>,".
// A space becomes %20, an ampersand %26. Nil for nil.
std::shared_ptr<NSString> tovrelUrlEncodeString(const std::shared_ptr<NSString>& text);
