// The classes UIApplicationMain may be asked for by name. The application's own delegate takes
// the name "AppDelegate" here once it exists; until then the showcase stands in for it.

#include "app/runner/Runner.h"
#include "app/runner/Showcase.h"
#include "platform/uikit/UIApplicationMain.h"

namespace zvt::runner {

void registerApplicationClasses() {
  zvt::ui::registerApplicationDelegateClass("AppDelegate", [] { return std::make_shared<ShowcaseDelegate>(); });
}

}  // namespace zvt::runner
