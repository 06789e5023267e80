#pragma once
// The account screens' registration: the screen classes of this folder that the shell, the
// routers, the login gate or other screens create by name, over their placeholders, and the
// nibs and storyboards the folder's views and screens are loaded from.

namespace zvt {

// Registers the folder's screen classes, nibs and storyboards (main thread; the runner and the
// tests call it once before any screen is made).
void registerAccountScreens();

}  // namespace zvt
