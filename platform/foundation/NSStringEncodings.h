// Text encodings beyond the few that NSString converts itself: IANA character-set names,
// conversions through iconv, and the string transform that reduces text to ASCII.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "platform/foundation/NSData.h"
#include "platform/foundation/NSString.h"

inline constexpr NSStringEncoding NSJapaneseEUCStringEncoding = 3;
inline constexpr NSStringEncoding NSShiftJISStringEncoding = 8;
inline constexpr NSStringEncoding NSISOLatin2StringEncoding = 9;
inline constexpr NSStringEncoding NSWindowsCP1251StringEncoding = 11;
inline constexpr NSStringEncoding NSWindowsCP1252StringEncoding = 12;
inline constexpr NSStringEncoding NSWindowsCP1253StringEncoding = 13;
inline constexpr NSStringEncoding NSWindowsCP1254StringEncoding = 14;
inline constexpr NSStringEncoding NSWindowsCP1250StringEncoding = 15;
inline constexpr NSStringEncoding NSISO2022JPStringEncoding = 21;
// Core Foundation encodings as NSStringEncoding values (0x80000000 | CFStringEncoding).
inline constexpr NSStringEncoding kZVTGBKStringEncoding = 0x80000631;
inline constexpr NSStringEncoding kZVTGB18030StringEncoding = 0x80000632;
inline constexpr NSStringEncoding kZVTEUCCNStringEncoding = 0x80000930;
inline constexpr NSStringEncoding kZVTEUCKRStringEncoding = 0x80000940;
inline constexpr NSStringEncoding kZVTBig5StringEncoding = 0x80000A03;
inline constexpr NSStringEncoding kZVTKOI8RStringEncoding = 0x80000A02;

// kCFStringEncodingInvalidId as an NSStringEncoding.
inline constexpr NSStringEncoding kZVTInvalidStringEncoding = 0;

namespace zvt {

// CFStringConvertEncodingToNSStringEncoding(CFStringConvertIANACharSetNameToEncoding(name)):
// the encoding of a charset name (case-insensitive, as in a Content-Type), or
// kZVTInvalidStringEncoding when the name is unknown.
NSStringEncoding encodingForIANACharSetName(const std::shared_ptr<NSString>& name);
// The charset name of an encoding ("utf-8", "gbk"...), nil when there is none.
std::shared_ptr<NSString> IANACharSetNameOfEncoding(NSStringEncoding encoding);

// -[NSString initWithBytes:length:encoding:] for every encoding above: nil when the bytes are
// not valid in it (no replacement characters are made up).
std::shared_ptr<NSString> stringWithBytes(const void* bytes, size_t length, NSStringEncoding encoding);
std::shared_ptr<NSString> stringWithData(const std::shared_ptr<NSData>& data, NSStringEncoding encoding);
// Whether the bytes are well-formed UTF-8 (exactly when stringWithBytes would make a string of
// them in NSUTF8StringEncoding), checked in place.
bool isValidUTF8(std::string_view bytes);
// -[NSString dataUsingEncoding:] for every encoding above: nil when a character has no form in it.
std::shared_ptr<NSData> dataWithString(const std::shared_ptr<NSString>& string, NSStringEncoding encoding);

// -[NSString stringByApplyingTransform:reverse:] for ICU transform ids such as
// "Any-Latin; Latin-ASCII; [:^ASCII:] Remove"; nil when the transform is unknown.
std::shared_ptr<NSString> stringByApplyingTransform(const std::shared_ptr<NSString>& string,
                                                    const std::string& transformID);

}  // namespace zvt
