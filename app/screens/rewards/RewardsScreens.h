#pragma once
// The rewards screens' registration: each screen class of this folder that the shell, the
// routers or another screen create by name is registered here over its placeholder, and the red
// packet becomes the session's presenter of registration greetings.

namespace zvt {

// Registers the folder's screen classes and installs the red packet (main thread; the runner
// and the tests call it once before any screen is made).
void registerRewardsScreens();

}  // namespace zvt
