#pragma once
// The application's sandbox: one home directory holding Documents, Library/Caches,
// Library/Preferences and tmp. The home is $ZVT_HOME, or the directory set through
// zvt::setSandboxHome (tests use a fresh temporary one), else ~/.zavelto.

#include <memory>
#include <string>

#include "platform/foundation/NSObject.h"

class NSArray;
class NSString;

using NSSearchPathDirectory = NSUInteger;
inline constexpr NSSearchPathDirectory NSApplicationDirectory = 1;
inline constexpr NSSearchPathDirectory NSLibraryDirectory = 5;
inline constexpr NSSearchPathDirectory NSUserDirectory = 7;
inline constexpr NSSearchPathDirectory NSDocumentDirectory = 9;
inline constexpr NSSearchPathDirectory NSCachesDirectory = 13;
inline constexpr NSSearchPathDirectory NSApplicationSupportDirectory = 14;

using NSSearchPathDomainMask = NSUInteger;
inline constexpr NSSearchPathDomainMask NSUserDomainMask = 1;
inline constexpr NSSearchPathDomainMask NSLocalDomainMask = 2;
inline constexpr NSSearchPathDomainMask NSNetworkDomainMask = 4;
inline constexpr NSSearchPathDomainMask NSSystemDomainMask = 8;
inline constexpr NSSearchPathDomainMask NSAllDomainsMask = 0x0ffff;

// The sandbox home, without a trailing "/".
std::shared_ptr<NSString> NSHomeDirectory();
// "<home>/tmp/" (with the trailing "/", as the system gives it).
std::shared_ptr<NSString> NSTemporaryDirectory();
// The directory in the sandbox for the user domain ("~/Library/Caches" unexpanded); an empty
// array for other domains and for directories the sandbox does not have.
std::shared_ptr<NSArray> NSSearchPathForDirectoriesInDomains(NSSearchPathDirectory directory,
                                                             NSSearchPathDomainMask domainMask, bool expandTilde);

namespace zvt {
// Sets the home for this process (and for processes it starts, through $ZVT_HOME) and creates
// its standard folders. An empty path returns to the default.
void setSandboxHome(const std::string& path);
// The home path; the standard folders exist once this has returned.
std::string sandboxHome();
// Bumped by every change of the home: objects that keep paths inside it (the standard user
// defaults) compare it to notice the change.
uint64_t sandboxGeneration();
}  // namespace zvt
