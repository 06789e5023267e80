#pragma once
// UIKit runs on the main thread only. In debug and test builds every UIKit entry point checks
// it and stops the process with a message naming the call, instead of racing silently; release
// builds do not check.

namespace zvt::ui {

#ifdef NDEBUG
inline void assertMainThread(const char*) {}
#else
void assertMainThread(const char* call);
#endif

}  // namespace zvt::ui
