#include "foundation/sqlite/SQArgument.h"

#include "platform/foundation/NSNumber.h"
#include "platform/foundation/NSString.h"

namespace zvt {

id SQArgument::boxed() const {
  switch (binding_) {
    case Binding::Object:
      return object_;
    case Binding::Text:
      return NSString::stringWithUTF8String(text_);
    case Binding::Integer:
    case Binding::Real:
      break;
  }
  switch (type_) {
    case 'B': return NSNumber::numberWithBool(i_ != 0);
    case 'c': return NSNumber::numberWithChar(static_cast<signed char>(i_));
    case 'C': return NSNumber::numberWithUnsignedChar(static_cast<unsigned char>(u_));
    case 's': return NSNumber::numberWithShort(static_cast<short>(i_));
    case 'S': return NSNumber::numberWithUnsignedShort(static_cast<unsigned short>(u_));
    case 'i': return NSNumber::numberWithInt(static_cast<int>(i_));
    case 'I': return NSNumber::numberWithUnsignedInt(static_cast<unsigned int>(u_));
    case 'Q': return NSNumber::numberWithUnsignedLongLong(u_);
    case 'f': return NSNumber::numberWithFloat(static_cast<float>(d_));
    case 'd': return NSNumber::numberWithDouble(d_);
    default: return NSNumber::numberWithLongLong(i_);
  }
}

}  // namespace zvt
