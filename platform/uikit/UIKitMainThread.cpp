#include "platform/uikit/UIKitMainThread.h"

#include <cstdio>
#include <cstdlib>

#include "platform/foundation/NSThread.h"

namespace zvt::ui {

#ifndef NDEBUG
void assertMainThread(const char* call) {
  if (NSThread::isMainThread()) return;
  std::fprintf(stderr, "UIKit: %s called off the main thread; UIKit is used on the main thread only\n", call);
  std::fflush(stderr);
  std::abort();
}
#endif

}  // namespace zvt::ui
