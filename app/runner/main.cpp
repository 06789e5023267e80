// The application's entry point: it registers the application's classes and hands control to
// UIApplicationMain with "AppDelegate" as the delegate class (see Runner.h).

#include "app/runner/Runner.h"

int main(int argc, char* argv[]) {
  zvt::runner::registerApplicationClasses();
  return zvt::runner::runnerMain(argc, argv);
}
